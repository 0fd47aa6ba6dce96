#pragma once

#include "ArchiverDll.h"
#include "ArchiverOptions.h"
#include "ArchiverType.h"
#include "CmdOpt.h"
#include "PackItems.h"

#include <memory>
#include <string>

/// The archiver of one format: builds the format's command lines and runs them through its library.
class TArchiver {
public:
    virtual ~TArchiver() = default;

    /// Loads the format's libraries (shared by every archiver of the class); may throw ENoArchiverDLL.
    virtual void LoadDLL() = 0;
    virtual void FreeDLL() = 0;
    virtual TCustomArchiverDll& GetDll() = 0;

    void* OpenArchive(void* window, const std::string& archive, uint32_t mode);
    int FindFirst(void* handle, const std::string& wildcard, void* info);
    int FindNext(void* handle, void* info);
    int CloseArchive(void* handle);
    bool CheckArchive(const std::string& archive, int mode);
    /// Called for every member the library enumerates; the base does nothing.
    virtual void EnumMemberHook(void* memberInfo, TArchiverOptions& options, bool& abort);

    // Each builds its command with the matching Make...Cmd, stores it in `commandLine`, and runs it.
    int Extract(void* window, const std::string& archive, const TArchiverOptions& options,
                const std::string& folder, const PackItems& names, bool useResFile, std::string& commandLine,
                std::string& output);
    int Pack(void* window, const std::string& archive, const TArchiverOptions& options,
             const std::string& folder, const PackItems& names, bool useResFile, std::string& commandLine,
             std::string& output);
    int Remove(void* window, const std::string& archive, const TArchiverOptions& options,
               const std::string& folder, const PackItems& names, bool useResFile, std::string& commandLine,
               std::string& output);
    int Update(void* window, const std::string& archive, const TArchiverOptions& options,
               const std::string& folder, const PackItems& names, bool useResFile, std::string& commandLine,
               std::string& output);
    /// Formats that write the executable themselves override this.
    virtual int MakeSfx(void* window, const std::string& archive, const TArchiverOptions& options,
                        const std::string& folder, const PackItems& names, bool useResFile,
                        std::string& commandLine, std::string& output);

    // Command builders; the base ones raise the "not supported" messages.
    virtual void MakeExtractCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                                const std::string& folder, const PackItems& names, bool useResFile,
                                std::string& commandLine);
    virtual void MakePackCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                             const std::string& folder, const PackItems& names, bool useResFile,
                             std::string& commandLine);
    virtual void MakeRemoveCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                               const std::string& folder, const PackItems& names, bool useResFile,
                               std::string& commandLine);
    virtual void MakeUpdateCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                               const std::string& folder, const PackItems& names, bool useResFile,
                               std::string& commandLine);
    virtual void MakeSfxCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                            const std::string& folder, const PackItems& names, bool useResFile,
                            std::string& commandLine);
    virtual void MakeExtractMemCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                                   const std::string& folder, const PackItems& names, bool useResFile,
                                   std::string& commandLine);

    /// Registers the owner window with the library; true when it accepted.
    bool SetOwnerWindow(void* window, void* procedure);
    bool KillOwnerWindow(void* window);
    void SetEnumMembersProc(void* procedure, uint32_t recordSize);
    void ClearEnumMembersProc();
    void CheckDLL() { LoadDLL(); }

    /// True when the library opens the file's full path in probe mode (the handle is closed at once);
    /// false on any failure. The content probes of the formats build on it.
    static bool OpenProbe(TCustomArchiverDll& dll, const std::string& path);

    /// The quoted archive name, then the folder with a trailing separator when one is given.
    static void AddArchiveAndFolder(TCmdOpt& builder, const std::string& archive, const std::string& folder);
    /// The member names (or the response file when asked for and named), then UserFileList.
    static int AddNames(TCmdOpt& builder, const TArchiverOptions& options, bool useResFile,
                        const PackItems& names);

protected:
    /// Writes a self-extracting executable as the stub's bytes followed by the archive's: named as the
    /// archive with extension `ext`, in `folder` when one is given. Returns its path; throws EFileError.
    static std::string WriteSelfExtractor(const std::string& stub, const std::string& archive,
                                          const std::string& folder, const std::string& ext);

    void* ownerWindow_ = nullptr;
};

/// A new archiver of the type's class with its libraries loaded; nullptr for atGCA, atBel, atNone and
/// atAutoDetect. Throws what loading throws.
std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type);
