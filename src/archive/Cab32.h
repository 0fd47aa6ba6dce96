#pragma once

#include "FormatArchiver.h"

/// The CAB archiver (".cab", library "CAB32.DLL"); it cannot delete or update members.
class TCab32 : public TFormatArchiver {
public:
    TCab32() : TFormatArchiver(atCab, Operations) {}
    /// The open probe; false on any failure.
    static bool ContentProbe(const std::string& path);

private:
    static constexpr TOperationTable Operations{{
        {"-x", ruOnUnpack}, // extract
        {"-a", ruOnPack},   // pack
        {nullptr, 0},       // delete
        {nullptr, 0},       // update
        {"-f", rfNever},    // self-extractor
        {"", rfNever},      // memory extraction
    }};
};
