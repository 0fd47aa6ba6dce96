#include "FormatArchiver.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <map>

namespace {

struct Library {
    const char* description;
    const char* file;
    const char* prefix;
};

const std::map<TArchiverType, Library>& libraries() {
    static const std::map<TArchiverType, Library> table = {
        {atLha, {"LHA 形式書庫", "UNLHA32.DLL", "Unlha"}},
        {atArj, {"ARJ 形式書庫", "UNARJ32J.DLL", "Unarj"}},
        {atCab, {"CAB 形式書庫", "CAB32.DLL", "Cab"}},
        {atTar, {"tar/tgz/taz/bz2 形式書庫", "TAR32.DLL", "Tar"}},
        {atRar, {"RAR 形式書庫", "UNRAR32.DLL", "Unrar"}},
        {atBga, {"BGA 形式書庫", "BGA32.DLL", "Bga"}},
        {at7z, {"7z 形式書庫", "7-zip32.dll", "SevenZip"}},
    };
    return table;
}

// The tar family shares one library.
TArchiverType libraryType(TArchiverType type) {
    return type == atTgz || type == atBZ2 ? atTar : type;
}

} // namespace

TArchiverDll& TFormatArchiver::Dll(TArchiverType type) {
    static std::map<TArchiverType, std::unique_ptr<TArchiverDll>> bindings;
    TArchiverType key = libraryType(type);
    auto& dll = bindings[key];
    if (!dll) {
        const Library& l = libraries().at(key);
        dll = std::make_unique<TArchiverDll>(l.description, l.file, l.prefix);
    }
    return *dll;
}

void TFormatArchiver::LoadDLL() {
    Dll(type_).LoadDLL();
}

void TFormatArchiver::FreeDLL() {
    Dll(type_).FreeDLL();
}

TCustomArchiverDll& TFormatArchiver::GetDll() {
    return Dll(type_);
}

void TFormatArchiver::build(TArchiverOperation op, void* window, const std::string& archive,
                            const TArchiverOptions& options, const std::string& folder,
                            const PackItems& names, bool useResFile, std::string& commandLine) {
    const TFormatOperation& entry = table_[op];
    if (!entry.Word) {
        switch (op) {
        case aoExtract:
            return TArchiver::MakeExtractCmd(window, archive, options, folder, names, useResFile,
                                             commandLine);
        case aoPack:
            return TArchiver::MakePackCmd(window, archive, options, folder, names, useResFile, commandLine);
        case aoRemove:
            return TArchiver::MakeRemoveCmd(window, archive, options, folder, names, useResFile, commandLine);
        case aoUpdate:
            return TArchiver::MakeUpdateCmd(window, archive, options, folder, names, useResFile, commandLine);
        case aoSfx:
            return TArchiver::MakeSfxCmd(window, archive, options, folder, names, useResFile, commandLine);
        case aoExtractMem:
            return TArchiver::MakeExtractMemCmd(window, archive, options, folder, names, useResFile,
                                                commandLine);
        }
    }
    bool viaResFile = entry.ResFile == rfCaller
                          ? useResFile
                          : (options.ResFileUsage & static_cast<unsigned>(entry.ResFile)) != 0;
    TCmdOpt b;
    AddSwitches(op, b, options);
    b.AddOption(options.UserOptions);
    AddArchive(op, b, archive, folder);
    if (op == aoExtractMem) {
        // Memory extraction reads one member.
        std::vector<std::string> first = FlattenItems(names, true);
        first.resize(std::min<size_t>(first.size(), 1));
        AddNames(b, options, viaResFile, PackItems{first});
    } else {
        AddNames(b, options, viaResFile, names);
    }
    commandLine = LeadingWord(op, options) + b.Text;
}

void TFormatArchiver::AddArchive(TArchiverOperation op, TCmdOpt& builder, const std::string& archive,
                                 const std::string& folder) {
    AddArchiveAndFolder(builder, archive, op == aoRemove || op == aoExtractMem ? "" : folder);
}

void TFormatArchiver::MakeExtractCmd(void* window, const std::string& archive,
                                     const TArchiverOptions& options, const std::string& folder,
                                     const PackItems& names, bool useResFile, std::string& commandLine) {
    build(aoExtract, window, archive, options, folder, names, useResFile, commandLine);
}

void TFormatArchiver::MakePackCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                                  const std::string& folder, const PackItems& names, bool useResFile,
                                  std::string& commandLine) {
    build(aoPack, window, archive, options, folder, names, useResFile, commandLine);
}

void TFormatArchiver::MakeRemoveCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                                    const std::string& folder, const PackItems& names, bool useResFile,
                                    std::string& commandLine) {
    build(aoRemove, window, archive, options, folder, names, useResFile, commandLine);
}

void TFormatArchiver::MakeUpdateCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                                    const std::string& folder, const PackItems& names, bool useResFile,
                                    std::string& commandLine) {
    build(aoUpdate, window, archive, options, folder, names, useResFile, commandLine);
}

void TFormatArchiver::MakeSfxCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                                 const std::string& folder, const PackItems& names, bool useResFile,
                                 std::string& commandLine) {
    build(aoSfx, window, archive, options, folder, names, useResFile, commandLine);
}

void TFormatArchiver::MakeExtractMemCmd(void* window, const std::string& archive,
                                        const TArchiverOptions& options, const std::string& folder,
                                        const PackItems& names, bool useResFile, std::string& commandLine) {
    build(aoExtractMem, window, archive, options, folder, names, useResFile, commandLine);
}

int TFormatArchiver::MakeSfx(void* window, const std::string& archive, const TArchiverOptions& options,
                             const std::string& folder, const PackItems& names, bool useResFile,
                             std::string& commandLine, std::string& output) {
    if (table_[aoSfx].Word)
        return TArchiver::MakeSfx(window, archive, options, folder, names, useResFile, commandLine, output);
    commandLine.clear();
    MakeSfxCmd(window, archive, options, folder, names, useResFile, commandLine);
    return 0;
}

std::string TFormatArchiver::FindStub(std::initializer_list<const char*> candidates) {
    for (const char* name : candidates) {
        std::string stub = FindOnSearchPath(name);
        if (!stub.empty())
            return stub;
    }
    return {};
}
