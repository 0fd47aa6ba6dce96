#include "ArchiverType.h"

#include "Arj32.h"
#include "BGA32.h"
#include "Cab32.h"
#include "Lha32.h"
#include "Rar32.h"
#include "Tar32.h"
#include "YZ1.h"
#include "Zip32.h"
#include "platform/Paths.h"

#include <map>

TArchiverType DetectByExtension(const std::string& fileName) {
    static const std::map<std::string, TArchiverType> byExtension = {
        {".lzh", atLha},  {".zip", atZip}, {".jar", atZip}, {".ear", atZip}, {".war", atZip}, {".cab", atCab},
        {".arj", atArj},  {".tar", atTar}, {".a", atTar},   {".lib", atTar}, {".deb", atTar}, {".rpm", atTar},
        {".cpio", atTar}, {".tgz", atTgz}, {".taz", atTgz}, {".gz", atTgz},  {".z", atTgz},   {".bz2", atBZ2},
        {".rar", atRar},  {".gza", atBga}, {".bza", atBga}, {".yz1", atYz1}, {".gca", atGCA}, {".7z", at7z},
    };
    std::string name = ExtractFileName(fileName);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return atNone;
    std::string ext = name.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (ext == ".exe")
        return DetectByContent(fileName);
    auto it = byExtension.find(ext);
    return it == byExtension.end() ? atNone : it->second;
}

TArchiverType DetectByContent(const std::string& fileName) {
    TArchiverType result = atNone;
    int tar = TTar32::ArchiveTypeOf(fileName);
    if (tar == 1)
        result = atTar;
    else if (tar >= 2 && tar <= 5)
        result = atTgz;
    else if (tar == 6 || tar == 7)
        result = atBZ2;
    // Each probe that answers yes replaces the result, so the last match wins.
    if (TRar32::ContentProbe(fileName))
        result = atRar;
    if (TArj32::ContentProbe(fileName))
        result = atArj;
    if (TZip32::ContentProbe(fileName))
        result = atZip;
    if (TBGA32::ContentProbe(fileName))
        result = atBga;
    if (TYZ1::ContentProbe(fileName))
        result = atYz1;
    if (TCab32::ContentProbe(fileName))
        result = atCab;
    if (TLha32::ContentProbe(fileName))
        result = atLha;
    return result;
}
