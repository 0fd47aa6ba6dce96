#pragma once

#include "ArchiverApi.h"
#include "platform/DynamicLibrary.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

/// The binding to one format's library (or libraries): entries resolved on first use, optional entries
/// answered with 0 when the library lacks them. One instance per format for the whole process.
class TCustomArchiverDll {
public:
    virtual ~TCustomArchiverDll() = default;

    virtual void LoadDLL() = 0;
    /// Forgets every resolved entry and unloads the library.
    virtual void FreeDLL() { entries_.clear(); }

    virtual int Command(void* window, const std::string& archive, const std::string& commandLine,
                        std::string& output);
    /// Runs a command that writes the archive; `fromPack` is set for the create command.
    virtual int WriteCommand(void* window, const std::string& archive, const std::string& commandLine,
                             std::string& output, bool fromPack);
    virtual bool CheckArchive(const std::string& archive, int mode);
    virtual void* OpenArchive(void* window, const std::string& archive, uint32_t mode);
    virtual int CloseArchive(void* handle);
    virtual int FindFirst(void* handle, const std::string& wildcard, void* info);
    virtual int FindNext(void* handle, void* info);
    virtual int ExtractMem(void* window, const std::string& commandLine, void* buffer, uint32_t size,
                           void* time, void* attributes, uint32_t* written);
    virtual bool SetOwnerWindowEx(void* window, void* procedure);
    virtual bool KillOwnerWindowEx(void* window);
    virtual bool GetWriteTimeEx(void* handle, void* fileTime);
    virtual bool GetCreateTimeEx(void* handle, void* fileTime);
    virtual bool GetAccessTimeEx(void* handle, void* fileTime);
    virtual bool GetOriginalSizeEx(void* handle, int64_t* size);
    virtual bool GetCompressedSizeEx(void* handle, int64_t* size);
    virtual int GetArchiveType(const std::string& archive);
    virtual bool SetEnumMembersProc64(void* procedure, uint32_t recordSize);
    virtual bool ClearEnumMembersProc64();

protected:
    /// The output buffer handed to a command entry: null when its size is 0.
    static char* outputBuffer(std::string& output) { return output.empty() ? nullptr : output.data(); }
    /// The address of the entry for an operation (`suffix` is the operation's name, "" for the command
    /// entry), or nullptr when optional and missing. Throws EEntryNotFound when required and missing.
    void* entry(const std::string& suffix, bool required);
    /// Looks an entry up in the loaded library or libraries; nullptr when absent.
    virtual void* findEntry(const std::string& suffix) = 0;
    /// The exception for a missing required entry.
    [[noreturn]] virtual void entryMissing(const std::string& suffix) = 0;

private:
    std::map<std::string, void*> entries_;
};

/// The binding to a format that lives in one library file with one entry prefix.
class TArchiverDll : public TCustomArchiverDll {
public:
    TArchiverDll(std::string description, std::string fileName, std::string prefix)
        : Description(std::move(description)), FileName(std::move(fileName)), Prefix(std::move(prefix)) {}
    ~TArchiverDll() override { FreeDLL(); }

    const std::string Description; ///< for messages, e.g. "LHA 形式書庫"
    const std::string FileName;    ///< e.g. "UNLHA32.DLL"
    const std::string Prefix;      ///< e.g. "Unlha"

    /// Loads the library once; throws ENoArchiverDLL "<description> を扱うには <file> が 必要です。".
    void LoadDLL() override;
    void FreeDLL() override;
    bool Loaded() const { return library_ != nullptr; }

protected:
    void* findEntry(const std::string& suffix) override;
    [[noreturn]] void entryMissing(const std::string& suffix) override;

private:
    std::unique_ptr<DynamicLibrary> library_;
};
