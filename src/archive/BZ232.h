#pragma once

#include "Tar32.h"

/// The bzip2-compressed tar archiver (".bz2"); bzip2 archives cannot be made self-extracting.
class TBZ232 : public TTar32 {
public:
    TBZ232() : TTar32(atBZ2) {}
    /// Throws EArchiver "BZ2 形式書庫は自己解凍形式にできません。".
    void MakeSfxCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                    const std::string& folder, const PackItems& names, bool useResFile,
                    std::string& commandLine) override;

protected:
    /// "-B", or "-B<level>" when the option jm gives a level.
    void AddCompression(TCmdOpt& builder, const TArchiverOptions& options) override;
};
