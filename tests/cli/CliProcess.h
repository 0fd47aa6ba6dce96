#pragma once

#ifdef _WIN32

#include <chrono>
#include <csignal>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>
#include <windows.h>

/// The real quillon-cli run as a child process: its standard output and error into files (so neither is
/// a terminal), QUILLON_PASSWORD only when the test gives it. Killed when still running at the end.
class CliProcess {
public:
    CliProcess(const std::vector<std::string>& args, const std::string& outFile, const std::string& errFile,
               const std::optional<std::string>& password = std::nullopt) {
        std::wstring line = quoted(QUILLON_CLI);
        for (const std::string& a : args)
            line += L" " + quoted(a);
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE out = CreateFileW(wide(outFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE err = CreateFileW(wide(errFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr);
        // The child's environment: this one without QUILLON_PASSWORD, and the test's password if any.
        std::wstring environment;
        wchar_t* block = GetEnvironmentStringsW();
        for (const wchar_t* e = block; *e; e += wcslen(e) + 1)
            if (wcsncmp(e, L"QUILLON_PASSWORD=", 17) != 0)
                environment.append(e).push_back(L'\0');
        FreeEnvironmentStringsW(block);
        if (password)
            environment.append(L"QUILLON_PASSWORD=" + wide(*password)).push_back(L'\0');
        environment.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION info{};
        bool ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                 CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_PROCESS_GROUP, environment.data(),
                                 nullptr, &startup, &info);
        CloseHandle(out);
        CloseHandle(err);
        CloseHandle(in);
        if (!ok)
            throw std::runtime_error("cannot start quillon-cli");
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        id_ = info.dwProcessId;
    }
    ~CliProcess() {
        if (process_ && !status_)
            TerminateProcess(process_, 1);
        if (process_)
            CloseHandle(process_);
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    /// An interrupt as Ctrl+Break (the process has a group of its own).
    void signal(int) const { GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, id_); }

    /// The exit code; -2 when it did not end within `limit` (then killed).
    int wait(std::chrono::seconds limit = std::chrono::seconds(60)) {
        if (!status_) {
            if (WaitForSingleObject(process_, static_cast<DWORD>(limit.count() * 1000)) != WAIT_OBJECT_0) {
                TerminateProcess(process_, 1);
                WaitForSingleObject(process_, INFINITE);
                status_ = -2;
            } else {
                DWORD code = 0;
                GetExitCodeProcess(process_, &code);
                status_ = static_cast<int>(code);
            }
        }
        return *status_;
    }

private:
    static std::wstring wide(const std::string& s) {
        int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
        std::wstring w(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
        return w;
    }
    // One argument as CommandLineToArgvW splits it back.
    static std::wstring quoted(const std::string& arg) {
        std::wstring in = wide(arg), out = L"\"";
        size_t backslashes = 0;
        for (wchar_t c : in) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
            out += c;
        }
        out.append(backslashes * 2, L'\\');
        return out + L"\"";
    }

    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    std::optional<int> status_;
};

#else

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

/// The real quillon-cli run as a child process: its standard output and error into files (so neither is
/// a terminal), QUILLON_PASSWORD only when the test gives it. Killed when still running at the end.
class CliProcess {
public:
    CliProcess(const std::vector<std::string>& args, const std::string& outFile, const std::string& errFile,
               const std::optional<std::string>& password = std::nullopt) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "QUILLON_PASSWORD=", 17) != 0)
                env.push_back(*e);
        if (password)
            env.push_back("QUILLON_PASSWORD=" + *password);
        std::vector<std::string> argv{QUILLON_CLI};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv, cenv;
        for (std::string& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        for (std::string& e : env)
            cenv.push_back(e.data());
        cenv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int in = ::open("/dev/null", O_RDONLY);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            ::execve(cargv[0], cargv.data(), cenv.data());
            ::_exit(127);
        }
    }
    ~CliProcess() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void signal(int sig) const { ::kill(pid_, sig); }

    /// The exit code; -1 when it ended by a signal, -2 when it did not end within `limit` (then killed).
    int wait(std::chrono::seconds limit = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int status = 0;
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                status_ = -2;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return *status_;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

#endif
