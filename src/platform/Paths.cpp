#include "Paths.h"

#include "Errors.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <unistd.h>
#endif

bool IsPathDelimiter(char c) {
#ifdef _WIN32
    return c == '\\' || c == ':';
#else
    return c == '\\' || c == '/';
#endif
}

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

bool SameFileName(std::string_view a, std::string_view b) {
#ifdef _WIN32
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
#else
    return a == b;
#endif
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string result(path);
    if (result.empty() || !IsPathDelimiter(result.back()) || result.back() == ':')
        result += NativeDelimiter;
    return result;
}

std::string NativePath(std::string_view path) {
#ifdef _WIN32
    return std::string(path);
#else
    return ReplaceChar(path, '\\', '/');
#endif
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

std::string ExpandFileName(std::string_view path) {
    if (path.empty())
        return {};
#ifdef _WIN32
    int wide = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring in(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), in.data(), wide);
    wchar_t buffer[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(in.c_str(), MAX_PATH * 4, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH * 4)
        return std::string(path);
    int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), result.data(), size, nullptr, nullptr);
    return result;
#else
    if (IsPathDelimiter(path[0]))
        return std::string(path);
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return std::string(path);
    return IncludeTrailingPathDelimiter(cwd) + std::string(path);
#endif
}

std::string ExecutablePath() {
#ifdef _WIN32
    wchar_t buffer[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
    int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), result.data(), size, nullptr, nullptr);
    return result;
#else
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n < 0)
        throw EFileError("Cannot determine the program's own path");
    return std::string(buffer, static_cast<size_t>(n));
#endif
}
