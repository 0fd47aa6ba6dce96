#include "Paths.h"

// The platform's own rules (separators, name comparison, the program's path) are in PathsPosix.cpp and
// PathsWindows.cpp.

namespace {

size_t lastDelimiter(std::string_view path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1]))
            return i - 1;
    return std::string_view::npos;
}

} // namespace

std::string ExtractFilePath(std::string_view path) {
    size_t pos = lastDelimiter(path);
    return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string ExtractFileName(std::string_view path) {
    size_t pos = lastDelimiter(path);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    size_t nameStart = lastDelimiter(path);
    nameStart = nameStart == std::string_view::npos ? 0 : nameStart + 1;
    size_t dot = path.rfind('.');
    std::string result(dot != std::string_view::npos && dot >= nameStart ? path.substr(0, dot) : path);
    return result.append(ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string result(path);
    if (result.empty() || !IsPathDelimiter(result.back()) || result.back() == ':')
        result += NativeDelimiter;
    return result;
}

std::string RemoveFirst(std::string_view text, std::string_view part) {
    std::string result(text);
    size_t at = part.empty() ? std::string::npos : result.find(part);
    if (at != std::string::npos)
        result.erase(at, part.size());
    return result;
}

std::string ReplaceChar(std::string_view text, char from, char to) {
    std::string result(text);
    for (char& c : result)
        if (c == from)
            c = to;
    return result;
}
