#include "Arj32.h"

void TArj32::AddSwitches(TArchiverOperation op, TCmdOpt& builder, const TArchiverOptions& options) {
    if (op != aoExtract)
        TLha32::AddSwitches(op, builder, options);
}

bool TArj32::ContentProbe(const std::string& path) {
    return OpenProbe(Dll(atArj), path);
}
