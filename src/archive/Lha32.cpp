#include "Lha32.h"

#include "platform/Errors.h"
#include "platform/Paths.h"

void TLha32::AddSwitches(TArchiverOperation op, TCmdOpt& b, const TArchiverOptions& o) {
    if (o.jso == -1)
        throw EAssertionFailed("jso オプションが設定されていません。");
    if (op == aoExtract && o.jse == -1)
        throw EAssertionFailed("jse オプションが設定されていません。");
    b.AddOption("-+");
    const std::pair<const char*, int8_t> letters[] = {{"a", o.a},     {"c", o.c},    {"m", o.m}, {"n", o.n},
                                                      {"p", o.p},     {"r", o.r},    {"x", o.x}, {"gw", o.gw},
                                                      {"jse", o.jse}, {"jso", o.jso}};
    for (const auto& [letter, value] : letters)
        b.AddNumber(letter, value);
}

bool TLha32::ContentProbe(const std::string& path) {
    try {
        TArchiverDll& dll = Dll(atLha);
        return dll.CheckArchive(ExpandFileName(path), 16) && OpenProbe(dll, path);
    } catch (const std::exception&) {
        return false;
    }
}
