#pragma once

#include "Lha32.h"

/// The ARJ archiver (".arj", library "UNARJ32J.DLL"): its own extraction command, the LHA builders for
/// everything else.
class TArj32 : public TLha32 {
public:
    TArj32() : TLha32(atArj, Operations) {}
    /// The open probe; false on any failure.
    static bool ContentProbe(const std::string& path);

protected:
    void AddSwitches(TArchiverOperation op, TCmdOpt& builder, const TArchiverOptions& options) override;

    static constexpr TOperationTable Operations{{
        {"x", rfCaller}, // extract, with a builder of its own
        TLha32::Operations[aoPack],
        TLha32::Operations[aoRemove],
        TLha32::Operations[aoUpdate],
        TLha32::Operations[aoSfx],
        TLha32::Operations[aoExtractMem],
    }};
};
