#include "Cab32.h"

bool TCab32::ContentProbe(const std::string& path) {
    return OpenProbe(Dll(atCab), path);
}
