#include "Registry.h"

#include "WindowsText.h"

#include <windows.h>

std::string ReadRegistryString(std::string_view key, std::string_view value) {
    std::wstring k = WideText(key), v = WideText(value);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        DWORD bytes = 0;
        if (RegGetValueW(root, k.c_str(), v.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS)
            continue;
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (RegGetValueW(root, k.c_str(), v.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &bytes) !=
            ERROR_SUCCESS)
            continue;
        text.resize(wcsnlen(text.c_str(), text.size()));
        return Utf8Text(text);
    }
    return {};
}
