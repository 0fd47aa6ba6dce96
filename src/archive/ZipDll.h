#pragma once

#include "ArchiverDll.h"

#include <memory>
#include <string>

/// The binding of the ZIP format, spread over three libraries: ZIP32J.DLL creates, UNZIP32.DLL extracts
/// and lists, LMZIP32.DLL can stand in for either. Each entry is looked for in a fixed order of them.
class TZipDll : public TCustomArchiverDll {
public:
    ~TZipDll() override { FreeDLL(); }

    /// Loads UNZIP32.DLL, ZIP32J.DLL and LMZIP32.DLL, each if not loaded yet; a missing one stays absent.
    void LoadDLL() override;
    void FreeDLL() override;

    /// "Zip"; the create command first deletes an existing archive so that every pack builds a fresh one.
    /// A library that offers "ZipCheckCommand" (the built-in writer) checks the command before that
    /// deletion, and a command it refuses returns its code with the old archive untouched.
    int WriteCommand(void* window, const std::string& archive, const std::string& commandLine,
                     std::string& output, bool fromPack) override;
    bool SetOwnerWindowEx(void* window, void* procedure) override; ///< required in UNZIP32.DLL
    bool KillOwnerWindowEx(void* window) override;                 ///< required in UNZIP32.DLL

    bool UnzipLoaded() const { return unzip_ != nullptr; }
    bool Zip32jLoaded() const { return zip32j_ != nullptr; }
    bool LmzipLoaded() const { return lmzip_ != nullptr; }

protected:
    void* findEntry(const std::string& suffix) override;
    [[noreturn]] void entryMissing(const std::string& suffix) override;

private:
    std::unique_ptr<DynamicLibrary> unzip_, lmzip_, zip32j_;
};
