#include "Registry.h"

#ifdef _WIN32
#include <windows.h>

namespace {

std::wstring wide(std::string_view text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), n);
    return result;
}

std::string utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string result(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), n, nullptr,
                        nullptr);
    return result;
}

} // namespace

std::string ReadRegistryString(std::string_view key, std::string_view value) {
    std::wstring k = wide(key), v = wide(value);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        DWORD bytes = 0;
        if (RegGetValueW(root, k.c_str(), v.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS)
            continue;
        std::wstring text(bytes / sizeof(wchar_t), L'\0');
        if (RegGetValueW(root, k.c_str(), v.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &bytes) !=
            ERROR_SUCCESS)
            continue;
        text.resize(wcsnlen(text.c_str(), text.size()));
        return utf8(text);
    }
    return {};
}

#else

std::string ReadRegistryString(std::string_view, std::string_view) {
    return {};
}

#endif
