#pragma once

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
