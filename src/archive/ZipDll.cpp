#include "ZipDll.h"

#include "ArchiverErrors.h"
#include "ArchiverRegistry.h"
#include "platform/Cp932.h"
#include "platform/FileSystem.h"

#include <map>
#include <vector>

namespace {

enum Library { Unzip, Lmzip, Zip32j };

struct ZipEntry {
    const char* name;
    std::vector<Library> order;
    bool ownerWindowEntry = false; // missing: the generic "entry not found in <module>" message
};

// Operation (the suffix the shared binding asks for) to entry name and the libraries searched, in order.
const std::map<std::string, ZipEntry>& zipEntries() {
    static const std::map<std::string, ZipEntry> entries = {
        {"Zip", {"Zip", {Zip32j, Lmzip}}},
        // The built-in writer's check of a create command, made before the old archive is deleted.
        {"CheckCommand", {"ZipCheckCommand", {Zip32j}}},
        // The same two of the built-in writer for a UTF-8 command line, whose folders need no CP932 form.
        {"ZipUtf8", {"ZipUtf8", {Zip32j}}},
        {"CheckCommandUtf8", {"ZipCheckCommandUtf8", {Zip32j}}},
        {"", {"UnZip", {Unzip, Lmzip}}}, // the command entry
        {"OpenArchive", {"UnZipOpenArchive", {Lmzip, Zip32j, Unzip}}},
        {"CloseArchive", {"UnZipCloseArchive", {Lmzip, Zip32j, Unzip}}},
        {"FindFirst", {"UnZipFindFirst", {Lmzip, Zip32j, Unzip}}},
        {"FindNext", {"UnZipFindNext", {Lmzip, Zip32j, Unzip}}},
        {"GetWriteTimeEx", {"UnzipGetWriteTimeEx", {Lmzip, Zip32j, Unzip}}},
        {"GetCreateTimeEx", {"UnZipGetCreateTimeEx", {Lmzip, Zip32j, Unzip}}},
        {"GetAccessTimeEx", {"UnZipGetAccessTimeEx", {Lmzip, Zip32j, Unzip}}},
        {"CheckArchive", {"UnZipCheckArchive", {Unzip, Lmzip, Zip32j}}},
        {"ExtractMem", {"UnZipExtractMem", {Unzip, Lmzip, Zip32j}}},
        {"SetOwnerWindowEx", {"UnZipSetOwnerWindowEx", {Unzip}, true}},
        {"KillOwnerWindowEx", {"UnZipKillOwnerWindowEx", {Unzip}, true}},
    };
    return entries;
}

template <typename F> F as(void* address) {
    return reinterpret_cast<F>(address);
}

void loadOnce(std::unique_ptr<DynamicLibrary>& library, const char* name) {
    if (!library)
        library = LoadArchiverLibrary(name);
}

} // namespace

void TZipDll::LoadDLL() {
    loadOnce(unzip_, "UNZIP32.DLL");
    loadOnce(zip32j_, "ZIP32J.DLL");
    loadOnce(lmzip_, "LMZIP32.DLL");
}

void TZipDll::FreeDLL() {
    TCustomArchiverDll::FreeDLL();
    unzip_.reset();
    lmzip_.reset();
    zip32j_.reset();
}

void* TZipDll::findEntry(const std::string& suffix) {
    auto it = zipEntries().find(suffix);
    if (it == zipEntries().end())
        return nullptr; // sizes, enumeration and the archive type are not offered for ZIP
    for (Library which : it->second.order) {
        DynamicLibrary* library = which == Unzip   ? unzip_.get()
                                  : which == Lmzip ? lmzip_.get()
                                                   : zip32j_.get();
        if (!library)
            continue;
        std::string name = it->second.name;
        if (which == Lmzip && name.size() > 2 && name[2] == 'Z')
            name[2] = 'z'; // LMZIP32.DLL spells its entries "Unzip..."
        if (void* address = library->Symbol(name))
            return address;
    }
    return nullptr;
}

void TZipDll::entryMissing(const std::string& suffix) {
    auto it = zipEntries().find(suffix);
    std::string name = it != zipEntries().end() ? it->second.name : suffix;
    if (it != zipEntries().end() && it->second.ownerWindowEntry) {
        std::string module = unzip_ ? unzip_->ModulePath().substr(0, 256) : "UNZIP32.DLL";
        throw EEntryNotFound(module + " に " + name + " のエントリが見つかりません。");
    }
    throw EEntryNotFound(name + " のエントリが DLL に見つかりませんでした。");
}

int TZipDll::WriteCommand(void* window, const std::string& archive, const std::string& commandLine,
                          std::string& output, bool fromPack) {
    LoadDLL();
    auto zip = as<ArcCommand>(entry("Zip", true)); // before the old archive is touched
    // A library that takes the command as UTF-8 gets it as it is: the folders then keep names CP932 lacks.
    void* utf8 = entry("ZipUtf8", false);
    if (utf8)
        zip = as<ArcCommand>(utf8);
    std::string bytes = utf8 ? commandLine : Utf8ToCp932(commandLine);
    if (fromPack) {
        // A library that can check the command refuses it here, while the old archive is still there.
        if (void* check = entry(utf8 ? "CheckCommandUtf8" : "CheckCommand", false))
            if (int rc = as<ArcCommand>(check)(window, bytes.c_str(), outputBuffer(output),
                                               static_cast<uint32_t>(output.size())))
                return rc;
        RemoveFile(archive);
    }
    return zip(window, bytes.c_str(), outputBuffer(output), static_cast<uint32_t>(output.size()));
}

bool TZipDll::SetOwnerWindowEx(void* window, void* procedure) {
    return as<ArcSetOwnerWindowEx>(entry("SetOwnerWindowEx", true))(window, procedure) != 0;
}

bool TZipDll::KillOwnerWindowEx(void* window) {
    return as<ArcKillOwnerWindowEx>(entry("KillOwnerWindowEx", true))(window) != 0;
}
