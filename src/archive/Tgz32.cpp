#include "Tgz32.h"

void TTgz32::AddCompression(TCmdOpt& b, const TArchiverOptions& o) {
    if (o.jm >= 0)
        b.AddNumber("z", o.jm);
    else
        b.AddFlag("z", true);
}
