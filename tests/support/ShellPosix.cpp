#include "Shell.h"

#include <array>
#include <cstdio>
#include <sys/wait.h>

std::string RunShell(const std::string& command, int* status) {
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

bool SetImmutable(const std::string& path, bool on) {
    int status = -1;
    RunShell(std::string("chattr ") + (on ? "+i" : "-i") + " '" + path + "' 2>/dev/null", &status);
    return status == 0;
}
