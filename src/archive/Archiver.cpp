#include "Archiver.h"

#include "ArchiverErrors.h"
#include "Arj32.h"
#include "BGA32.h"
#include "BZ232.h"
#include "Cab32.h"
#include "Lha32.h"
#include "Rar32.h"
#include "SevenZip32.h"
#include "Tgz32.h"
#include "YZ1.h"
#include "Zip32.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

void* TArchiver::OpenArchive(void* window, const std::string& archive, uint32_t mode) {
    return GetDll().OpenArchive(window, ExpandFileName(archive), mode);
}

int TArchiver::FindFirst(void* handle, const std::string& wildcard, void* info) {
    return GetDll().FindFirst(handle, wildcard, info);
}

int TArchiver::FindNext(void* handle, void* info) {
    return GetDll().FindNext(handle, info);
}

int TArchiver::CloseArchive(void* handle) {
    return GetDll().CloseArchive(handle);
}

bool TArchiver::CheckArchive(const std::string& archive, int mode) {
    return GetDll().CheckArchive(archive, mode);
}

void TArchiver::EnumMemberHook(void*, TArchiverOptions&, bool&) {}

int TArchiver::Extract(void* window, const std::string& archive, const TArchiverOptions& options,
                       const std::string& folder, const PackItems& names, bool useResFile,
                       std::string& commandLine, std::string& output) {
    MakeExtractCmd(window, archive, options, folder, names, useResFile, commandLine);
    return GetDll().Command(window, archive, commandLine, output);
}

int TArchiver::Pack(void* window, const std::string& archive, const TArchiverOptions& options,
                    const std::string& folder, const PackItems& names, bool useResFile,
                    std::string& commandLine, std::string& output) {
    MakePackCmd(window, archive, options, folder, names, useResFile, commandLine);
    return GetDll().WriteCommand(window, archive, commandLine, output, true);
}

int TArchiver::Remove(void* window, const std::string& archive, const TArchiverOptions& options,
                      const std::string& folder, const PackItems& names, bool useResFile,
                      std::string& commandLine, std::string& output) {
    MakeRemoveCmd(window, archive, options, folder, names, useResFile, commandLine);
    return GetDll().WriteCommand(window, archive, commandLine, output, false);
}

int TArchiver::Update(void* window, const std::string& archive, const TArchiverOptions& options,
                      const std::string& folder, const PackItems& names, bool useResFile,
                      std::string& commandLine, std::string& output) {
    MakeUpdateCmd(window, archive, options, folder, names, useResFile, commandLine);
    return GetDll().WriteCommand(window, archive, commandLine, output, false);
}

int TArchiver::MakeSfx(void* window, const std::string& archive, const TArchiverOptions& options,
                       const std::string& folder, const PackItems& names, bool useResFile,
                       std::string& commandLine, std::string& output) {
    MakeSfxCmd(window, archive, options, folder, names, useResFile, commandLine);
    return GetDll().WriteCommand(window, archive, commandLine, output, false);
}

void TArchiver::MakeExtractCmd(void*, const std::string&, const TArchiverOptions&, const std::string&,
                               const PackItems&, bool, std::string&) {
    throw EArchiver("Abstract method 'TArchiver.MakeExtractCmd' was called");
}

void TArchiver::MakePackCmd(void*, const std::string&, const TArchiverOptions&, const std::string&,
                            const PackItems&, bool, std::string&) {
    throw EArchiver("この形式では書庫ファイルの作成をサポートしておりません。");
}

void TArchiver::MakeRemoveCmd(void*, const std::string&, const TArchiverOptions&, const std::string&,
                              const PackItems&, bool, std::string&) {
    throw EArchiver("この形式の書庫ではファイルの削除をサポートしておりません。");
}

void TArchiver::MakeUpdateCmd(void*, const std::string&, const TArchiverOptions&, const std::string&,
                              const PackItems&, bool, std::string&) {
    throw EArchiver("この形式の書庫では書庫の更新をサポートしておりません。");
}

void TArchiver::MakeSfxCmd(void*, const std::string&, const TArchiverOptions&, const std::string&,
                           const PackItems&, bool, std::string&) {
    throw EArchiver("この形式では自己解凍書庫の作成をサポートしておりません。");
}

void TArchiver::MakeExtractMemCmd(void*, const std::string&, const TArchiverOptions&, const std::string&,
                                  const PackItems&, bool, std::string&) {
    throw EArchiver("この形式ではメモリ展開をサポートしておりません。");
}

bool TArchiver::SetOwnerWindow(void* window, void* procedure) {
    ownerWindow_ = window;
    return GetDll().SetOwnerWindowEx(window, procedure);
}

bool TArchiver::KillOwnerWindow(void* window) {
    bool result = GetDll().KillOwnerWindowEx(window);
    ownerWindow_ = nullptr;
    return result;
}

void TArchiver::SetEnumMembersProc(void* procedure, uint32_t recordSize) {
    GetDll().SetEnumMembersProc64(procedure, recordSize);
}

void TArchiver::ClearEnumMembersProc() {
    GetDll().ClearEnumMembersProc64();
}

void TArchiver::AddArchiveAndFolder(TCmdOpt& builder, const std::string& archive, const std::string& folder) {
    builder.AddQuoted("", archive);
    builder.AddDir("", folder);
}

int TArchiver::AddNames(TCmdOpt& builder, const TArchiverOptions& options, bool useResFile,
                        const PackItems& names) {
    int count;
    if (useResFile && !options.ResFileName.empty() && !IsNotSet(options.ResFileName))
        count = builder.AddResponseFile(names, options.ResFileName);
    else
        count = builder.AddFiles("", names);
    builder.AddOption(options.UserFileList);
    return count;
}

std::string TArchiver::WriteSelfExtractor(const std::string& stub, const std::string& archive,
                                          const std::string& folder, const std::string& ext) {
    std::string exe = ChangeFileExt(archive, ext);
    if (!folder.empty() && !IsNotSet(folder))
        exe = IncludeTrailingPathDelimiter(folder) + ExtractFileName(exe);
    WriteFileBytes(exe, ReadFileBytes(stub) + ReadFileBytes(archive));
    return exe;
}

std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type) {
    std::unique_ptr<TArchiver> archiver;
    switch (type) {
    case atZip:
        archiver = std::make_unique<TZip32>();
        break;
    case atLha:
        archiver = std::make_unique<TLha32>();
        break;
    case atArj:
        archiver = std::make_unique<TArj32>();
        break;
    case atCab:
        archiver = std::make_unique<TCab32>();
        break;
    case atTar:
        archiver = std::make_unique<TTar32>();
        break;
    case atTgz:
        archiver = std::make_unique<TTgz32>();
        break;
    case atBZ2:
        archiver = std::make_unique<TBZ232>();
        break;
    case atRar:
        archiver = std::make_unique<TRar32>();
        break;
    case atBga:
        archiver = std::make_unique<TBGA32>();
        break;
    case atYz1:
        archiver = std::make_unique<TYZ1>();
        break;
    case at7z:
        archiver = std::make_unique<TSevenZip32>();
        break;
    default:
        return nullptr;
    }
    archiver->LoadDLL();
    return archiver;
}

bool TArchiver::OpenProbe(TCustomArchiverDll& dll, const std::string& path) {
    try {
        void* handle = dll.OpenArchive(nullptr, ExpandFileName(path), uint32_t{0x800002});
        if (!handle)
            return false;
        dll.CloseArchive(handle);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
