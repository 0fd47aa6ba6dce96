#pragma once

#include "FormatArchiver.h"

/// The LHA archiver (".lzh", library "UNLHA32.DLL"). Its commands need the options jso (and, for
/// extraction, jse) set explicitly.
class TLha32 : public TFormatArchiver {
public:
    TLha32() : TLha32(atLha, Operations) {}
    /// CheckArchive (mode 16), then the open probe; false on any failure.
    static bool ContentProbe(const std::string& path);

protected:
    TLha32(TArchiverType type, const TOperationTable& table) : TFormatArchiver(type, table) {}
    /// "-+" and the letter options; throws EAssertionFailed when jso (or, extracting, jse) is not set.
    void AddSwitches(TArchiverOperation op, TCmdOpt& builder, const TArchiverOptions& options) override;

    static constexpr TOperationTable Operations{{
        {"x", ruOnUnpack},     // extract
        {"u", ruOnPack},       // pack
        {"d", ruOnRemoveItem}, // delete
        {"f", ruOnUpdate},     // update
        {"s", rfNever},        // self-extractor
        {"", rfNever},         // memory extraction
    }};
};
