#include "Console.h"

#include "RunControl.h"
#include "WindowsText.h"

#include <atomic>
#include <cstdlib>
#include <windows.h>

#include <shellapi.h>

std::vector<std::string> CommandLineArguments(int, char**) {
    // argv is in the ANSI code page, which cannot hold every name: the UTF-16 command line can.
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> result;
    for (int i = 1; arguments && i < count; ++i)
        result.push_back(Utf8Text(arguments[i]));
    LocalFree(arguments);
    return result;
}

std::optional<std::string> EnvironmentVariable(const char* name) {
    std::wstring wideName = WideText(name);
    DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                        : std::optional<std::string>(std::string());
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(length);
    return Utf8Text(value);
}

namespace {

// A console shows UTF-16 whatever its code page; a file or a pipe gets the UTF-8 bytes.
void writeAll(DWORD which, std::string_view utf8) {
    HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(stream, &mode)) {
        std::wstring text = WideText(utf8);
        DWORD written = 0;
        WriteConsoleW(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    while (!utf8.empty()) {
        DWORD written = 0;
        if (!WriteFile(stream, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) ||
            written == 0)
            return; // a closed pipe: nobody reads any more
        utf8.remove_prefix(written);
    }
}

std::atomic<RunContext*> interrupted{nullptr};
std::atomic<int> interrupts{0};

BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (interrupts.fetch_add(1) > 0)
        return FALSE; // the second one: the system's own handler ends the program
    if (RunContext* context = interrupted.load())
        context->RequestCancel();
    return TRUE;
}

} // namespace

void WriteStandardOutput(std::string_view utf8) {
    writeAll(STD_OUTPUT_HANDLE, utf8);
}

void WriteStandardError(std::string_view utf8) {
    writeAll(STD_ERROR_HANDLE, utf8);
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

InterruptHandler::InterruptHandler(RunContext& context) {
    interrupts.store(0);
    interrupted.store(&context);
    SetConsoleCtrlHandler(onControl, TRUE);
}

InterruptHandler::~InterruptHandler() {
    SetConsoleCtrlHandler(onControl, FALSE);
    interrupted.store(nullptr);
}
