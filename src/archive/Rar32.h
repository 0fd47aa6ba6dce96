#pragma once

#include "FormatArchiver.h"

/// The RAR archiver (".rar", library "UNRAR32.DLL"): extraction only, to files or to memory.
class TRar32 : public TFormatArchiver {
public:
    TRar32() : TFormatArchiver(atRar, Operations) {}
    /// The open probe; false on any failure.
    static bool ContentProbe(const std::string& path);

protected:
    /// Extraction is "-e" (without folders) when the option x is 0, else "-x".
    std::string LeadingWord(TArchiverOperation op, const TArchiverOptions& options) const override;

private:
    static constexpr TOperationTable Operations{{
        {"-x", ruOnUnpack}, // extract
        {nullptr, 0},       // pack
        {nullptr, 0},       // delete
        {nullptr, 0},       // update
        {nullptr, 0},       // self-extractor
        {"", rfCaller},     // memory extraction
    }};
};
