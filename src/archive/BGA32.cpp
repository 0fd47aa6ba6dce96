#include "BGA32.h"

#include "platform/FileSystem.h"

bool TBGA32::ContentProbe(const std::string& path) {
    return FileExists(path) && OpenProbe(Dll(atBga), path);
}
