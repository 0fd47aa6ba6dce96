#pragma once

#include "Tar32.h"

/// The gzip-compressed tar archiver (".tgz", ".taz", ".gz", ".z").
class TTgz32 : public TTar32 {
public:
    TTgz32() : TTar32(atTgz) {}

protected:
    /// "-z", or "-z<level>" when the option jm gives a level.
    void AddCompression(TCmdOpt& builder, const TArchiverOptions& options) override;
};
