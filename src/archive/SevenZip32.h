#pragma once

#include "FormatArchiver.h"

/// The 7z archiver (".7z", library "7-zip32.dll"); no update, no memory extraction, no content probe. It
/// makes self-extractors itself.
class TSevenZip32 : public TFormatArchiver {
public:
    TSevenZip32() : TFormatArchiver(at7z, Operations) {}
    /// Writes a self-extractor module followed by the archive as the archive's name with ".exe", in the
    /// folder when one is given; the library is not called. The module is the first of "7z.sfx",
    /// "7zC.sfx", "7zCon.sfx", "7zS.sfx", "7zSD.sfx" found in 7-Zip's folder (from the registry, on Windows)
    /// or else on the search path. Throws EArchiver when gw <= 0 (16-bit self-extractors cannot be made)
    /// and ESfxNoRequiredFile when no module is found.
    void MakeSfxCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                    const std::string& folder, const PackItems& names, bool useResFile,
                    std::string& commandLine) override;

private:
    static constexpr TOperationTable Operations{{
        {"x", ruOnUnpack},     // extract
        {"u", ruOnPack},       // pack
        {"d", ruOnRemoveItem}, // delete
        {nullptr, 0},          // update
        {nullptr, 0},          // self-extractor: made without the library
        {nullptr, 0},          // memory extraction
    }};
};
