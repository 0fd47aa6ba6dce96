#include "ArchiverDll.h"

#include "ArchiverErrors.h"
#include "ArchiverRegistry.h"
#include "platform/Cp932.h"

namespace {

template <typename F> F as(void* address) {
    return reinterpret_cast<F>(address);
}

} // namespace

void* TCustomArchiverDll::entry(const std::string& suffix, bool required) {
    auto it = entries_.find(suffix);
    if (it != entries_.end())
        return it->second;
    void* address = findEntry(suffix);
    if (!address) {
        if (required)
            entryMissing(suffix);
        return nullptr;
    }
    entries_[suffix] = address;
    return address;
}

int TCustomArchiverDll::Command(void* window, const std::string&, const std::string& commandLine,
                                std::string& output) {
    LoadDLL();
    auto command = as<ArcCommand>(entry("", true));
    return command(window, Utf8ToCp932(commandLine).c_str(), outputBuffer(output),
                   static_cast<uint32_t>(output.size()));
}

int TCustomArchiverDll::WriteCommand(void* window, const std::string& archive, const std::string& commandLine,
                                     std::string& output, bool) {
    return Command(window, archive, commandLine, output);
}

bool TCustomArchiverDll::CheckArchive(const std::string& archive, int mode) {
    LoadDLL();
    return as<ArcCheckArchive>(entry("CheckArchive", true))(Utf8ToCp932(archive).c_str(), mode) != 0;
}

void* TCustomArchiverDll::OpenArchive(void* window, const std::string& archive, uint32_t mode) {
    LoadDLL();
    return as<ArcOpenArchive>(entry("OpenArchive", true))(window, Utf8ToCp932(archive).c_str(), mode);
}

int TCustomArchiverDll::CloseArchive(void* handle) {
    LoadDLL();
    return as<ArcCloseArchive>(entry("CloseArchive", true))(handle);
}

int TCustomArchiverDll::FindFirst(void* handle, const std::string& wildcard, void* info) {
    LoadDLL();
    return as<ArcFindFirst>(entry("FindFirst", true))(handle, Utf8ToCp932(wildcard).c_str(), info);
}

int TCustomArchiverDll::FindNext(void* handle, void* info) {
    return as<ArcFindNext>(entry("FindNext", true))(handle, info);
}

int TCustomArchiverDll::ExtractMem(void* window, const std::string& commandLine, void* buffer, uint32_t size,
                                   void* time, void* attributes, uint32_t* written) {
    return as<ArcExtractMem>(entry("ExtractMem", true))(window, Utf8ToCp932(commandLine).c_str(), buffer,
                                                        size, time, attributes, written);
}

bool TCustomArchiverDll::SetOwnerWindowEx(void* window, void* procedure) {
    void* address = entry("SetOwnerWindowEx", false);
    return address && as<ArcSetOwnerWindowEx>(address)(window, procedure) != 0;
}

bool TCustomArchiverDll::KillOwnerWindowEx(void* window) {
    void* address = entry("KillOwnerWindowEx", false);
    return address && as<ArcKillOwnerWindowEx>(address)(window) != 0;
}

bool TCustomArchiverDll::GetWriteTimeEx(void* handle, void* fileTime) {
    void* address = entry("GetWriteTimeEx", false);
    return address && as<ArcGetFileTime>(address)(handle, fileTime) != 0;
}

bool TCustomArchiverDll::GetCreateTimeEx(void* handle, void* fileTime) {
    void* address = entry("GetCreateTimeEx", false);
    return address && as<ArcGetFileTime>(address)(handle, fileTime) != 0;
}

bool TCustomArchiverDll::GetAccessTimeEx(void* handle, void* fileTime) {
    void* address = entry("GetAccessTimeEx", false);
    return address && as<ArcGetFileTime>(address)(handle, fileTime) != 0;
}

bool TCustomArchiverDll::GetOriginalSizeEx(void* handle, int64_t* size) {
    void* address = entry("GetOriginalSizeEx", false);
    return address && as<ArcGetSize64>(address)(handle, size) != 0;
}

bool TCustomArchiverDll::GetCompressedSizeEx(void* handle, int64_t* size) {
    void* address = entry("GetCompressedSizeEx", false);
    return address && as<ArcGetSize64>(address)(handle, size) != 0;
}

int TCustomArchiverDll::GetArchiveType(const std::string& archive) {
    LoadDLL();
    return as<ArcGetArchiveType>(entry("GetArchiveType", true))(Utf8ToCp932(archive).c_str());
}

bool TCustomArchiverDll::SetEnumMembersProc64(void* procedure, uint32_t recordSize) {
    LoadDLL();
    void* address = entry("SetEnumMembersProc64", false);
    return address && as<ArcSetEnumMembersProc64>(address)(procedure, recordSize) != 0;
}

bool TCustomArchiverDll::ClearEnumMembersProc64() {
    LoadDLL();
    void* address = entry("ClearEnumMembersProc64", false);
    return address && as<ArcClearEnumMembersProc64>(address)() != 0;
}

void TArchiverDll::LoadDLL() {
    if (library_)
        return;
    library_ = LoadArchiverLibrary(FileName);
    if (!library_)
        throw ENoArchiverDLL(Description + " を扱うには " + FileName + " が 必要です。");
}

void TArchiverDll::FreeDLL() {
    TCustomArchiverDll::FreeDLL();
    library_.reset();
}

void* TArchiverDll::findEntry(const std::string& suffix) {
    return library_ ? library_->Symbol(Prefix + suffix) : nullptr;
}

void TArchiverDll::entryMissing(const std::string& suffix) {
    std::string path = library_ ? library_->ModulePath().substr(0, 256) : FileName;
    throw EEntryNotFound(path + " に " + Prefix + suffix + " のエントリが見つかりません。");
}
