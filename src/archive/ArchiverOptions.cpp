#include "ArchiverOptions.h"

void TArchiverOptions::Reset() {
    TArchiverOptions fresh;
    fresh.IncludeExtraStreams = IncludeExtraStreams;
    fresh.StreamSeparator = StreamSeparator;
    *this = std::move(fresh);
}
