#include "WineHost.h"
#include "platform/WindowsText.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A shell word: single quotes, with each ' written as '\''.
std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

std::string WindowsQuoted(const std::string& arg) {
    // The rules by which the command line is split again: backslashes count only before a quote.
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

std::string HostPath(const std::string& windowsPath) {
    using UnixName = char* (*)(const wchar_t*);
    static const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<intptr_t>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!unixName)
        return windowsPath;
    char* name = unixName(WideText(windowsPath).c_str());
    if (!name) {
        // Wine names only what exists, or whose folder does: a link's target may come later.
        const size_t cut = windowsPath.find_last_of("\\/", windowsPath.size() - 2);
        if (cut == std::string::npos || cut < 3)
            return windowsPath;
        std::string folder = HostPath(windowsPath.substr(0, cut + 1));
        return folder == windowsPath.substr(0, cut + 1) ? windowsPath : folder + windowsPath.substr(cut + 1);
    }
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    // A folder keeps its closing separator.
    if (!windowsPath.empty() && (windowsPath.back() == '\\' || windowsPath.back() == '/') &&
        (result.empty() || result.back() != '/'))
        result += '/';
    return result;
}

std::string WithHostPaths(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool drive =
            i + 2 < text.size() && std::isalpha(static_cast<unsigned char>(text[i])) && text[i + 1] == ':' &&
            (text[i + 2] == '\\' || text[i + 2] == '/') &&
            (i == 0 || text[i - 1] == ' ' || text[i - 1] == '\'' || text[i - 1] == '"' || text[i - 1] == '=');
        if (!drive) {
            out += text[i++];
            continue;
        }
        size_t end = text.find_first_of(" '\"", i);
        if (end == std::string::npos)
            end = text.size();
        out += HostPath(text.substr(i, end - i));
        i = end;
    }
    return out;
}

std::string TemporaryFileName(const std::string& stem) {
    static std::atomic<unsigned> counter{0};
    return (fs::temp_directory_path() / (stem + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                         std::to_string(counter++) + "-" + std::to_string(GetTickCount64())))
        .string();
}

bool StartHostProgram(const std::string& commandLine) {
    std::wstring line = WideText(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    // For a Linux program wine gives no handles (both are null); close any it gave.
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    return true;
}

std::string RunHostShell(const std::string& command, int* status, int timeoutSeconds) {
    std::string out = TemporaryFileName("host-out"), done = TemporaryFileName("host-status");
    std::string script = "(" + WithHostPaths(command) + ") >" + shellQuoted(HostPath(out)) + "; echo $? >" +
                         shellQuoted(HostPath(done) + ".part") + " && mv " +
                         shellQuoted(HostPath(done) + ".part") + " " + shellQuoted(HostPath(done));
    std::string line = "/bin/sh -c " + WindowsQuoted(script);
    int result = -1;
    if (StartHostProgram(line)) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
        while (!fs::exists(done) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (fs::exists(done))
            result = std::atoi(slurp(done).c_str());
    }
    std::string output = slurp(out);
    std::error_code ec;
    fs::remove(out, ec);
    fs::remove(done, ec);
    if (status)
        *status = result;
    return output;
}
