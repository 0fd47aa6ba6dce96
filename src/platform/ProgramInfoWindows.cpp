#include "ProgramInfo.h"

#include "WindowsText.h"

#include <vector>
#include <windows.h>

#include <shellapi.h>

std::string ProgramFileVersion() {
    wchar_t self[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4)
        return {};
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(self, &ignored);
    if (size == 0)
        return {};
    std::vector<char> block(size);
    if (!GetFileVersionInfoW(self, 0, size, block.data()))
        return {};
    wchar_t* text = nullptr;
    UINT characters = 0;
    if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\041103A4\\FileVersion",
                        reinterpret_cast<void**>(&text), &characters) ||
        !text || characters == 0)
        return {};
    std::wstring value(text, characters);
    value.resize(wcsnlen(value.c_str(), value.size()));
    return Utf8Text(value);
}

bool OpenWithShell(const std::string& address) {
    HINSTANCE result =
        ShellExecuteW(nullptr, L"open", WideText(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<intptr_t>(result) > 32;
}
