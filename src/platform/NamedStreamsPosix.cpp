#include "NamedStreams.h"

bool VolumeHasNamedStreams(const std::string&) {
    return false;
}

std::vector<NamedStream> NamedStreamsOf(const std::string&) {
    return {};
}

bool CopyNamedStream(const std::string&, const NamedStream&, const std::string&) {
    return false;
}
