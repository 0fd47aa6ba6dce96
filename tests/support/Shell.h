#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

/// Runs a shell command and returns what it printed on standard output; `status` gets its exit status.
inline std::string RunShell(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    int rc = ::pclose(pipe);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

/// Sets or clears a file's immutable attribute with chattr; false where the file system does not allow
/// it (the tests run as root, so only this attribute, not the mode, makes a file truly unwritable).
inline bool SetImmutable(const std::string& path, bool on) {
    int status = -1;
    RunShell(std::string("chattr ") + (on ? "+i" : "-i") + " '" + path + "' 2>/dev/null", &status);
    return status == 0;
}
