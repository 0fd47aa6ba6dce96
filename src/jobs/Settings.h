#pragma once

#include "FTPClient.h"
#include "FTPConfig.h"
#include "LogSink.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IniFile;
class TUpdates2dau;

/// One job of the job list: what to distribute, where to, and how.
class TSettings {
public:
    // Job kinds; exactly one bit is set and code compares for equality.
    static constexpr uint8_t Network = 1;
    static constexpr uint8_t Upload = 2;
    static constexpr uint8_t NarCreate = 4;

    /// A new job: kind Network, no own FTP settings, no log sink, empty texts, flags off.
    TSettings() = default;

    uint8_t Kind = Network;
    std::string Directory;   ///< upload directory on the server, with '/'
    std::string HTML;        ///< local path of the web page template; empty for none
    std::string NarName;     ///< path of the archive to produce, with date/time placeholders
    std::string ProcessName; ///< include patterns, one per line, each line ended by CR LF
    std::string ExcludeName; ///< exclusion lines, same form
    std::string Name;
    LogSink* LogLines = nullptr;     ///< log sink, not owned
    TFTPConfig* CommonFTP = nullptr; ///< the main window's common settings, not owned
    std::unique_ptr<TFTPConfig> OwnFTP;
    bool UseCommon = false;
    std::string TargetFolder; ///< base folder
    bool DefaultCheck = false;
    FTPClientOptions ClientOptions; ///< client options for this job's connections (not saved)
    /// After a network update has published its list, fetch it and the uploaded files from the ghost's home
    /// URL (descript.txt's "homeurl", http or https) and compare ("HomeUrlCheck").
    bool HomeUrlCheck = true;

    /// Reads the job from a numbered section of the main settings file. A `NarName` without a folder part
    /// gets `TargetFolder` in front. Missing keys take their defaults; never fails.
    void LoadFromSection(const IniFile& ini, const std::string& section);
    /// Reads the job from section "General" of a job settings file, `NarName` as stored. Missing keys (or a
    /// missing file) take their defaults; a file that exists but cannot be read throws EFileError, so that
    /// it is not taken for an empty job.
    void LoadFromFile(const std::string& path);
    /// Writes the job's keys into a section of the main settings file (in memory). `OwnFTP` must exist.
    void SaveToSection(IniFile& ini, const std::string& section) const;

    /// Runs the job once, logging its name before and after; true for success. Errors that the job does
    /// not handle itself (a delete.txt or file list that cannot be read) leave it as exceptions.
    /// With `preview` the job changes nothing, locally or on the server: it builds its list, reads the
    /// server's list, asks nothing and logs what a real run would do.
    bool Run(bool preview = false);
    /// Whether the run in progress is a preview.
    bool Previewing() const { return previewing_; }
    /// Appends one line to `LogLines`; without a sink nothing happens.
    void Log(const std::string& line);
    /// Logs the line that ends a transferring job that failed:
    /// "FTP接続が出来ませんでした。転送は行われません：" followed by the reason.
    void LogTransferFailure(const std::string& reason);
    /// Fills `list` with the files to distribute and logs them; false when the user chose to stop at the
    /// delete.txt question, or when a file's name has no CP932 form of its own (logged).
    bool MakeFileList(TUpdates2dau& list);

    bool RunNetwork();   ///< network update job
    bool RunUpload();    ///< archive and upload job
    bool RunNarCreate(); ///< archive-only job
    /// Builds the archive: writes updates2.dau into the base folder (and a copy into ghost/master), packs
    /// the listed files into temp.zip and moves it to `NarName` with its date and time placeholders
    /// filled. Returns the archive's path, or the empty string when none was made (the failure is
    /// logged). A failure to write updates2.dau is not handled here: EFileError leaves it.
    std::string MakeNar();

    /// Takes every setting of `source` (its own server settings copied, the stored password included), as
    /// the job list's Copy does; the common settings stay the ones this job refers to.
    void CopyFrom(const TSettings& source);

    /// Takes the archive jobs' own temporaries (temp.zip, the zip writer's) out of a list.
    static void DropTemporaryArchives(TUpdates2dau& list);

    /// The size in bytes of a local file, or 0 when there is none.
    static int64_t GetLocalFileSize(const std::string& path);

    /// A client for this job's server (common or own settings), not yet connected. Asks for the password
    /// here when none is known.
    std::unique_ptr<TFTPClient> CreateFTP();
    /// CreateFTP, or nullptr after logging the connection failure when the password cannot be had.
    std::unique_ptr<TFTPClient> CreateFTPOrFail();
    /// Makes sure the nested folder (relative, with '' and a trailing '') exists below the client's
    /// current directory and returns there. Throws when a level can be neither entered nor made.
    void MakeRemoteDirs(TFTPClient& ftp, const std::string& folder);
    /// Enters `Directory`; when that fails, goes on as CreateUploadDirectory.
    void EnterUploadDirectory(TFTPClient& ftp);
    /// Logs that the upload directory is missing, makes `Directory` (ignoring a failure: one MKD, so only
    /// its last level can be made) and enters it. Throws EFTPError when it cannot be entered.
    void CreateUploadDirectory(TFTPClient& ftp);

    /// Connects, logs the connection line, and says once when TLS makes the data connections passive.
    void ConnectFTP(TFTPClient& ftp);
    /// Uploads a local file into the current directory under `name` so that the server never holds a
    /// partial or no file of that name: under a temporary name, then renamed over the old one. Where the
    /// server renames only onto a free name, the old file is first moved aside (and restored if the new one
    /// cannot take its place); where it renames nothing, or refuses the temporary name, the file goes up in
    /// place. Throws EFTPError.
    static void PublishFile(TFTPClient& ftp, const std::string& localPath, const std::string& name);

    /// `TargetFolder` with a trailing path delimiter.
    std::string BaseFolder() const;

    /// The INI value of a kind: "Network", "Upload", or "NarCreate" for any other value.
    static const char* KindName(uint8_t kind);
    /// The kind of an INI value, compared case-sensitively; anything unknown is NarCreate.
    static uint8_t KindFromName(const std::string& name);

private:
    // The reading shared by both layouts, in the order the keys are read.
    void load(const IniFile& ini, const std::string& section, bool jobSection);
    // The preview of the archive `nar` of `names` (relative paths) from `list`; returns `nar`.
    std::string previewNar(const TUpdates2dau& list, const std::vector<std::string>& names,
                           const std::string& nar);
    // The preview of the upload of `archive` and the page: connects and looks, nothing more.
    bool previewUpload(const std::string& archive);

    // The network update's preview from the comparison on: the folders and files an upload would create,
    // with CWD as its only command.
    void previewUploads(TFTPClient& ftp, const std::vector<std::string>& uploads,
                        const std::vector<bool>& fresh, bool uploadDirMissing);

    // Fetches <homeUrl>updates2.dau and every uploaded file over HTTP(S) and compares them with what was
    // published; logs the outcome. False when anything differs or cannot be fetched.
    bool proveHomeUrl(const std::string& homeUrl, const TUpdates2dau& local,
                      const std::vector<std::string>& uploads);

    bool previewing_ = false;
};
