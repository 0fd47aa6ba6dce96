#include "OtherFormats.h"

#include "ArchiverErrors.h"
#include "ArchiverRegistry.h"
#include "platform/FileSystem.h"

#include <map>

namespace {

struct Format {
    const char* description;
    const char* library;
    const char* prefix;
};

const std::map<TArchiverType, Format>& formats() {
    static const std::map<TArchiverType, Format> table = {
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

constexpr uint32_t probeMode = 0x800002;

bool openProbe(TArchiverDll& dll, const std::string& path) {
    void* handle = dll.OpenArchive(nullptr, path, probeMode);
    if (!handle)
        return false;
    dll.CloseArchive(handle);
    return true;
}

template <typename F> bool swallow(F probe) {
    try {
        return probe();
    } catch (const std::exception&) {
        return false;
    }
}

std::unique_ptr<TArchiverDll>& yz1Dll() {
    static std::unique_ptr<TArchiverDll> dll;
    return dll;
}

} // namespace

TArchiverDll& TSingleDllArchiver::Dll(TArchiverType type) {
    static std::map<TArchiverType, std::unique_ptr<TArchiverDll>> bindings;
    TArchiverType key = libraryType(type);
    auto& dll = bindings[key];
    if (!dll) {
        const Format& f = formats().at(key);
        dll = std::make_unique<TArchiverDll>(f.description, f.library, f.prefix);
    }
    return *dll;
}

void TSingleDllArchiver::LoadDLL() {
    Dll(type_).LoadDLL();
}
void TSingleDllArchiver::FreeDLL() {
    Dll(type_).FreeDLL();
}
TCustomArchiverDll& TSingleDllArchiver::GetDll() {
    return Dll(type_);
}

void TYZ1::LoadDLL() {
    if (yz1Dll() && yz1Dll()->Loaded())
        return;
    for (const char* name : {"YYZ32.DLL", "YZ1.DLL"}) {
        auto dll = std::make_unique<TArchiverDll>("YZ1 形式書庫", name, "Yz1");
        try {
            dll->LoadDLL();
        } catch (const ENoArchiverDLL&) {
            continue;
        }
        yz1Dll() = std::move(dll);
        return;
    }
    throw EArchiver("Yz1 形式書庫を扱うには YYZ32.DLL か YZ1.DLL が必要です。");
}

void TYZ1::FreeDLL() {
    yz1Dll().reset();
}

TCustomArchiverDll& TYZ1::GetDll() {
    LoadDLL();
    return *yz1Dll();
}

bool LhaProbe(const std::string& path) {
    return swallow([&] {
        TArchiverDll& dll = TSingleDllArchiver::Dll(atLha);
        return dll.CheckArchive(path, 16) && openProbe(dll, path);
    });
}

bool ArjProbe(const std::string& path) {
    return swallow([&] { return openProbe(TSingleDllArchiver::Dll(atArj), path); });
}
bool CabProbe(const std::string& path) {
    return swallow([&] { return openProbe(TSingleDllArchiver::Dll(atCab), path); });
}
bool RarProbe(const std::string& path) {
    return swallow([&] { return openProbe(TSingleDllArchiver::Dll(atRar), path); });
}

bool BgaProbe(const std::string& path) {
    return swallow([&] { return FileExists(path) && openProbe(TSingleDllArchiver::Dll(atBga), path); });
}

bool Yz1Probe(const std::string& path) {
    return swallow([&] {
        if (!FileExists(path))
            return false;
        TYZ1 yz1;
        yz1.LoadDLL();
        return openProbe(*yz1Dll(), path);
    });
}

int TarArchiveType(const std::string& path) {
    try {
        return TSingleDllArchiver::Dll(atTar).GetArchiveType(path);
    } catch (const std::exception&) {
        return 0;
    }
}
