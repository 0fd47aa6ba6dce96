#include "YZ1.h"

#include "ArchiverErrors.h"
#include "platform/FileSystem.h"

namespace {

const char* const libraryFiles[] = {"YYZ32.DLL", "YZ1.DLL"};

// The binding of whichever library loaded.
std::unique_ptr<TArchiverDll>& sharedDll() {
    static std::unique_ptr<TArchiverDll> dll;
    return dll;
}

} // namespace

void TYZ1::LoadDLL() {
    if (sharedDll() && sharedDll()->Loaded())
        return;
    std::string names;
    for (const char* file : libraryFiles) {
        auto dll = std::make_unique<TArchiverDll>("YZ1 形式書庫", file, "Yz1");
        try {
            dll->LoadDLL();
        } catch (const ENoArchiverDLL&) {
            names += (names.empty() ? "" : " か ") + std::string(file);
            continue;
        }
        sharedDll() = std::move(dll);
        return;
    }
    throw EArchiver("Yz1 形式書庫を扱うには " + names + " が必要です。");
}

void TYZ1::FreeDLL() {
    sharedDll().reset();
}

TCustomArchiverDll& TYZ1::GetDll() {
    LoadDLL();
    return *sharedDll();
}

void TYZ1::MakeSfxCmd(void*, const std::string& archive, const TArchiverOptions& options,
                      const std::string& folder, const PackItems&, bool, std::string&) {
    std::string stub;
    if (options.gw > 0) {
        stub = FindStub({"yzw32cui.sfx", "yzdec.exe"});
        if (stub.empty())
            throw EArchiver(
                "yz1 書庫からのWin32自己解凍書庫の作成には yzw32cui.sfx か yzdec.exe が必要です。");
    } else {
        stub = FindStub({"yzdos16.sfx"});
        if (stub.empty())
            throw EArchiver("yz1 書庫からのDOS自己解凍書庫の作成には yzdos16.sfx が必要です。");
    }
    WriteSelfExtractor(stub, archive, folder, ".exe");
}

bool TYZ1::ContentProbe(const std::string& path) {
    try {
        if (!FileExists(path))
            return false;
        TYZ1 yz1;
        return OpenProbe(yz1.GetDll(), path);
    } catch (const std::exception&) {
        return false;
    }
}
