#include "ProgramInfo.h"

#include "Version.h"

std::string ProgramFileVersion() {
    return QUILLON_VERSION;
}

bool OpenWithShell(const std::string&) {
    return false;
}
