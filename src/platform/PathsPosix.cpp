#include "Paths.h"

#include "Errors.h"

#include <climits>
#include <unistd.h>

bool IsPathDelimiter(char c) {
    return c == '\\' || c == '/';
}

bool SameFileName(std::string_view a, std::string_view b) {
    return a == b;
}

bool IsAbsolutePath(std::string_view path) {
    return !path.empty() && IsPathDelimiter(path[0]);
}

std::string NativePath(std::string_view path) {
    return ReplaceChar(path, '\\', '/');
}

std::string ExpandFileName(std::string_view path) {
    if (path.empty())
        return {};
    if (IsPathDelimiter(path[0]))
        return std::string(path);
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return std::string(path);
    return IncludeTrailingPathDelimiter(cwd) + std::string(path);
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n < 0)
        throw EFileError("Cannot determine the program's own path");
    return std::string(buffer, static_cast<size_t>(n));
}
