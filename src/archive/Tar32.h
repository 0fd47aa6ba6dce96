#pragma once

#include "FormatArchiver.h"

/// The TAR archiver (library "TAR32.DLL", shared with TTgz32 and TBZ232). Its switches keep the switch
/// outside the quotes (-f "archive"); it makes self-extractors itself from "kmtarsef.exe".
class TTar32 : public TFormatArchiver {
public:
    TTar32() : TTar32(atTar) {}
    /// Writes the stub "kmtarsef.exe" (from the search path) followed by the archive as the archive's
    /// name with ".EXE", in the folder when one is given; the library is not called. Throws
    /// ESfxNoRequiredFile when the stub is missing.
    void MakeSfxCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                    const std::string& folder, const PackItems& names, bool useResFile,
                    std::string& commandLine) override;
    /// The library's archive type of the file (1 tar, 2 to 5 tgz, 6 and 7 bz2), 0 on any failure.
    static int ArchiveTypeOf(const std::string& path);

protected:
    explicit TTar32(TArchiverType type) : TFormatArchiver(type, Operations) {}
    void AddSwitches(TArchiverOperation op, TCmdOpt& builder, const TArchiverOptions& options) override;
    /// The archive as the "f" switch and the folder as the "o" switch.
    void AddArchive(TArchiverOperation op, TCmdOpt& builder, const std::string& archive,
                    const std::string& folder) override;
    /// The compression switch of the family member; plain tar has none.
    virtual void AddCompression(TCmdOpt&, const TArchiverOptions&) {}

private:
    static constexpr TOperationTable Operations{{
        {"x", ruOnUnpack}, // extract
        {"c", ruOnPack},   // pack
        {nullptr, 0},      // delete
        {nullptr, 0},      // update
        {nullptr, 0},      // self-extractor: made without the library
        {"", rfCaller},    // memory extraction
    }};
};
