#include "Tar32.h"

#include "ArchiverErrors.h"
#include "platform/Paths.h"

void TTar32::AddSwitches(TArchiverOperation, TCmdOpt& b, const TArchiverOptions& o) {
    b.QuotingStyle = true;
    // The library would otherwise show its own progress dialog.
    b.AddOption("--display-dialog=0");
    AddCompression(b, o);
}

void TTar32::AddArchive(TArchiverOperation op, TCmdOpt& b, const std::string& archive,
                        const std::string& folder) {
    b.AddQuoted("f", archive);
    if (op != aoRemove && op != aoExtractMem)
        b.AddDir("o", folder);
}

void TTar32::MakeSfxCmd(void*, const std::string& archive, const TArchiverOptions&, const std::string& folder,
                        const PackItems&, bool, std::string&) {
    std::string stub = FindStub({"kmtarsef.exe"});
    if (stub.empty())
        throw ESfxNoRequiredFile("tar/tgz", "", "kmtarsef.exe");
    WriteSelfExtractor(stub, archive, folder, ".EXE");
}

int TTar32::ArchiveTypeOf(const std::string& path) {
    try {
        return Dll(atTar).GetArchiveType(ExpandFileName(path));
    } catch (const std::exception&) {
        return 0;
    }
}
