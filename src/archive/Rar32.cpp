#include "Rar32.h"

std::string TRar32::LeadingWord(TArchiverOperation op, const TArchiverOptions& options) const {
    if (op == aoExtract && options.x == 0)
        return "-e";
    return TFormatArchiver::LeadingWord(op, options);
}

bool TRar32::ContentProbe(const std::string& path) {
    return OpenProbe(Dll(atRar), path);
}
