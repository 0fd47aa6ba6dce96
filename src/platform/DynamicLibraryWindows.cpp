#include "DynamicLibrary.h"

#include "WindowsText.h"

#include <windows.h>

namespace {

class WindowsLibrary : public DynamicLibrary {
public:
    explicit WindowsLibrary(HMODULE module) : module_(module) {}
    ~WindowsLibrary() override { FreeLibrary(module_); }
    void* Symbol(const std::string& name) override {
        // An entry's address as data, the way the callers keep it.
        return reinterpret_cast<void*>(reinterpret_cast<intptr_t>(GetProcAddress(module_, name.c_str())));
    }
    std::string ModulePath() const override {
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            DWORD n = GetModuleFileNameW(module_, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n == 0)
                return {};
            if (n < buffer.size())
                return Utf8Text(std::wstring_view(buffer.data(), n));
            buffer.resize(buffer.size() * 2);
        }
    }

private:
    HMODULE module_;
};

} // namespace

std::unique_ptr<DynamicLibrary> LoadSharedLibrary(const std::string& fileName) {
    // No "cannot find the library" box from the system: a missing archiver is the caller's message.
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    HMODULE module = LoadLibraryW(WideText(fileName).c_str());
    SetThreadErrorMode(previous, nullptr);
    if (!module)
        return nullptr;
    return std::make_unique<WindowsLibrary>(module);
}
