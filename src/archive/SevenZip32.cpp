#include "SevenZip32.h"

#include "ArchiverErrors.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

void TSevenZip32::MakeSfxCmd(void*, const std::string& archive, const TArchiverOptions& options,
                             const std::string& folder, const PackItems&, bool, std::string&) {
    if (options.gw <= 0)
        throw EArchiver("16bit SFX を作成することはできません。");
    const char* const modules[] = {"7z.sfx", "7zC.sfx", "7zCon.sfx", "7zS.sfx", "7zSD.sfx"};
    std::string stub;
    std::string installed = ReadRegistryString("SOFTWARE\\7-ZIP", "Path");
    for (const char* module : modules)
        if (stub.empty() && !installed.empty() &&
            FileExists(IncludeTrailingPathDelimiter(installed) + module))
            stub = IncludeTrailingPathDelimiter(installed) + module;
    for (const char* module : modules)
        if (stub.empty())
            stub = FindOnSearchPath(module);
    if (stub.empty())
        throw ESfxNoRequiredFile("7z", "Win32", "7z.sfx");
    WriteSelfExtractor(stub, archive, folder, ".exe");
}
