#include "Zip32.h"

#include "ArchiverErrors.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace {

std::unique_ptr<TZipDll>& sharedDll() {
    static std::unique_ptr<TZipDll> dll;
    return dll;
}

} // namespace

TZipDll& TZip32::Dll() {
    if (!sharedDll())
        sharedDll() = std::make_unique<TZipDll>();
    return *sharedDll();
}

void TZip32::LoadDLL() {
    Dll().LoadDLL();
}

void TZip32::FreeDLL() {
    sharedDll().reset();
}

std::string TZip32::EscapeName(const std::string& name) {
    std::string out;
    size_t start = 0;
    // A leading "-" would read as a switch and a leading "@" as a response file.
    if (!name.empty() && (name[0] == '-' || name[0] == '@')) {
        out = name[0] == '-' ? "[-]" : "[@]";
        start = 1;
    }
    // In UTF-8 the bytes '\' and '[' never occur inside a multi-byte character.
    for (size_t i = start; i < name.size(); ++i) {
        if (name[i] == '\\')
            out += '/';
        else if (name[i] == '[')
            out += "[[]";
        else
            out += name[i];
    }
    return out;
}

std::string TZip32::zip32jCommand(const std::string& archive, const TArchiverOptions& o,
                                  const std::string& folder, const PackItems& names, bool useResFile) {
    TCmdOpt b;
    b.NameEscape = &TZip32::EscapeName;
    b.AddFlag("S", o.a > 0);
    b.AddFlag("D", o.a < 2);
    b.AddFlag("v", o.l > 0);
    b.AddFlag("q", o.n > 0);
    b.AddFlag("r", o.r > 0);
    b.AddFlag("o", o.n > 0); // the option o is not consulted
    b.AddFlag("u", o.u > 0);
    b.AddFlag("j", o.x == 0);
    b.AddFlag("FF", o.jc > 0);
    b.AddFlag("k", o.ji > 0);
    b.AddNumber("", o.jm);
    b.AddFlag("J", o.gd > 0);
    b.AddOption(o.UserOptions);
    AddArchiveAndFolder(b, archive, folder);
    AddNames(b, o, useResFile, names);
    return b.Text;
}

void TZip32::MakePackCmd(void*, const std::string& archive, const TArchiverOptions& options,
                         const std::string& folder, const PackItems& names, bool useResFile,
                         std::string& commandLine) {
    if (Dll().Zip32jLoaded()) {
        commandLine = zip32jCommand(archive, options, folder, names, useResFile);
        return;
    }
    if (Dll().LmzipLoaded()) {
        TCmdOpt b;
        b.AddFlag("o", options.c == 1);
        b.AddFlag("j", options.x == 0);
        b.AddOption(options.UserOptions);
        b.AddQuoted("", archive);
        AddNames(b, options, useResFile, names);
        commandLine = "-ru" + b.Text;
        return;
    }
    throw EArchiver("ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。");
}

void TZip32::MakeExtractCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                            const std::string& folder, const PackItems& names, bool useResFile,
                            std::string& commandLine) {
    if (!Dll().UnzipLoaded() && !Dll().LmzipLoaded())
        throw EArchiver("ZIP 形式書庫の解凍には UNZIP32.DLL または LMZIP32.DLL が必要です。");
    TCmdOpt b;
    b.NameEscape = &TZip32::EscapeName;
    b.AddFlag("o", options.c == 1);
    b.AddFlag("-i", options.n > 0 || window != nullptr || ownerWindow_ != nullptr);
    b.AddFlag("j", options.x == 0);
    b.AddOption(options.UserOptions);
    AddArchiveAndFolder(b, archive, folder);
    AddNames(b, options, useResFile, names);
    commandLine = "-x" + b.Text;
}

void TZip32::MakeRemoveCmd(void*, const std::string& archive, const TArchiverOptions& options,
                           const std::string&, const PackItems& names, bool useResFile,
                           std::string& commandLine) {
    commandLine = "-d" + zip32jCommand(archive, options, "", names, useResFile);
}

void TZip32::MakeUpdateCmd(void*, const std::string& archive, const TArchiverOptions& options,
                           const std::string& folder, const PackItems& names, bool useResFile,
                           std::string& commandLine) {
    commandLine = "-f" + zip32jCommand(archive, options, folder, names, useResFile);
}

void TZip32::MakeExtractMemCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                               const std::string&, const PackItems& names, bool useResFile,
                               std::string& commandLine) {
    std::vector<std::string> one = FlattenItems(names, true);
    if (one.size() > 1)
        one.resize(1);
    std::string command;
    MakeExtractCmd(window, archive, options, "", PackItems{one}, useResFile, command);
    commandLine = command.substr(2); // no leading word
}

void TZip32::MakeSfxCmd(void*, const std::string& archive, const TArchiverOptions& options,
                        const std::string& folder, const PackItems&, bool, std::string& commandLine) {
    if (!Dll().Zip32jLoaded())
        throw ESfxNoRequiredFile("zip", "", "ZIP32J.DLL");
    bool win32 = options.gw > 0;
    std::string stubName = win32 ? "sfx32gui.dat" : "sfx16.dat";
    std::string stub = FindOnSearchPath(stubName);
    if (stub.empty())
        throw ESfxNoRequiredFile("zip", win32 ? "Win32" : "DOS", stubName);
    commandLine = "-A " + WriteSelfExtractor(stub, archive, folder, ".EXE");
}

bool TZip32::ContentProbe(const std::string& path) {
    try {
        TZipDll& dll = Dll();
        std::string full = ExpandFileName(path);
        return dll.CheckArchive(full, 24) && FileExists(full) && OpenProbe(dll, full);
    } catch (const std::exception&) {
        return false;
    }
}
