#include "Paths.h"
#include "Wildcard.h"

#include "WindowsText.h"

#include <windows.h>

bool IsPathDelimiter(char c) {
    // Windows takes '/' for a separator too; ':' ends a drive.
    return c == '\\' || c == '/' || c == ':';
}

bool SameFileName(std::string_view a, std::string_view b) {
    return SameNoCase(a, b);
}

bool IsAbsolutePath(std::string_view path) {
    return (!path.empty() && (path[0] == '\\' || path[0] == '/')) || (path.size() >= 2 && path[1] == ':');
}

std::string NativePath(std::string_view path) {
    return ReplaceChar(path, '/', '\\');
}

std::string ExpandFileName(std::string_view path) {
    if (path.empty())
        return {};
    std::wstring in = WideText(NativePath(path));
    DWORD n = GetFullPathNameW(in.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return std::string(path);
    std::wstring buffer(n, L'\0');
    n = GetFullPathNameW(in.c_str(), n, buffer.data(), nullptr);
    if (n == 0 || n >= buffer.size())
        return std::string(path);
    buffer.resize(n);
    return Utf8Text(buffer);
}

std::string ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return Utf8Text(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}
