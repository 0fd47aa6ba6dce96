#pragma once

#include "FormatArchiver.h"

/// The BGA archiver (".gza", ".bza", library "BGA32.DLL"); no update and no memory extraction.
class TBGA32 : public TFormatArchiver {
public:
    TBGA32() : TFormatArchiver(atBga, Operations) {}
    /// The file exists and passes the open probe; false on any failure.
    static bool ContentProbe(const std::string& path);

private:
    static constexpr TOperationTable Operations{{
        {"x", rfCaller},       // extract
        {"a", rfCaller},       // pack
        {"d", ruOnRemoveItem}, // delete
        {nullptr, 0},          // update
        {"s", ruOnRemoveItem}, // self-extractor
        {nullptr, 0},          // memory extraction
    }};
};
