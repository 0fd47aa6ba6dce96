#include "Shell.h"

#include "WineHost.h"

std::string RunShell(const std::string& command, int* status) {
    return RunHostShell(command, status);
}

bool SetImmutable(const std::string&, bool) {
    return false;
}
