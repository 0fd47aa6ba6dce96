#include "BZ232.h"

#include "ArchiverErrors.h"

void TBZ232::MakeSfxCmd(void*, const std::string&, const TArchiverOptions&, const std::string&,
                        const PackItems&, bool, std::string&) {
    throw EArchiver("BZ2 形式書庫は自己解凍形式にできません。");
}

void TBZ232::AddCompression(TCmdOpt& b, const TArchiverOptions& o) {
    if (o.jm >= 0)
        b.AddNumber("B", o.jm);
    else
        b.AddFlag("B", true);
}
