#pragma once

#include "platform/Errors.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// A failure of the FTP client; the message carries the server's reply or the transport's error.
class EFTPError : public EQuillon {
public:
    explicit EFTPError(const std::string& message, int replyCode = 0)
        : EQuillon(message), replyCode_(replyCode) {}
    /// The server's reply code when the server refused, else 0.
    int ReplyCode() const { return replyCode_; }

private:
    int replyCode_;
};

/// Options that only tests and special set-ups change.
struct FTPClientOptions {
    std::string CAFile;             ///< extra trusted CA certificates (PEM); empty: the system's store only
    long ConnectTimeoutMs = 120000; ///< for the TCP connection, the TLS handshake and the login
    long StallTimeoutMs = 60000;    ///< a reply or a transfer without progress for this long fails
    long ActiveAcceptTimeoutMs = 20000; ///< for the server to open an active-mode data connection
    /// Name lookups to use instead of the system's ("host:port:address[,address...]"), for tests.
    std::vector<std::string> Resolve;
};

/// A stateful FTP client over one control connection (libcurl underneath). The server's current directory
/// is driven only by ChangeDir, MakeDir and ChangeDirUp; transfers name files relative to it, exactly as
/// given. The client never opens a second control connection: once the one it logged in on is lost, every
/// call fails. While it waits, the client lets the window system process its messages (every 250 ms, 125 ms
/// while connecting, also while data moves), and it gives up when the user cancels the run (ECancelled).
class TFTPClient {
public:
    enum TransferType { ftBinary, ftASCII };

    TFTPClient();
    ~TFTPClient();
    TFTPClient(const TFTPClient&) = delete;
    TFTPClient& operator=(const TFTPClient&) = delete;

    std::string Host; ///< "host", "host:port" or "[v6 address]:port"; port 21 when none is given
    std::string Username;
    std::string Password;
    bool Passive = false;
    bool UseTLS = false; ///< implicit TLS: the control connection is encrypted from its first byte
    FTPClientOptions Options;
    /// Called while a transfer runs with the bytes moved so far and the size (0 when not known).
    std::function<void(int64_t done, int64_t total)> OnTransferProgress;

    void SetTransferType(TransferType type) { type_ = type; }
    /// Connects and logs in. Throws EFTPError ("Connect timed out." when no connection stood in time).
    void Connect();
    bool Connected() const { return connected_; }
    void ChangeDir(const std::string& dir); ///< CWD; throws EFTPError with the server's reply
    void MakeDir(const std::string& dir);   ///< MKD; throws EFTPError with the server's reply
    void ChangeDirUp();                     ///< CDUP; throws EFTPError with the server's reply
    /// RNFR `from`, then RNTO `to`. Throws EFTPError with the reply that refused; `RenameFromRefused`
    /// tells which of the two it was.
    void Rename(const std::string& from, const std::string& to);
    void Delete(const std::string& name); ///< DELE; throws EFTPError with the server's reply
    /// RETR of a file of the current directory to a new local file. Throws EFileError when the local file
    /// already exists (nothing is sent then) and EFTPError when the transfer fails; the local file is then
    /// left empty. Does not depend on SIZE: a RETR that succeeds is what counts.
    void Get(const std::string& remoteName, const std::string& localPath);
    /// STOR of a local file under a name relative to the current directory. Throws EFileError when the
    /// local file cannot be read (nothing is sent then) and EFTPError when the transfer fails.
    void Put(const std::string& localPath, const std::string& remoteName);
    /// Sends QUIT when connected and closes the connection; never throws, never waits on a lost one.
    void Quit();

    /// The server's current directory as the commands sent so far have made it ("/pub/ghost"); empty when
    /// the server did not say where the login started.
    const std::string& CurrentDir() const { return cwd_; }
    /// `dir` (absolute, or relative with "." and "..") taken from `from`, lexically.
    static std::string JoinRemotePath(const std::string& from, const std::string& dir);

    /// Whether the last failed Rename was refused at RNFR (renaming not possible at all) rather than at
    /// RNTO (for example because the target exists).
    bool RenameFromRefused() const { return renameFromRefused_; }

    /// Host name and port as parsed from Host.
    static void SplitHost(const std::string& host, std::string& name, int& port);

private:
    struct Impl;
    // Runs one request on the control connection: `command` (CWD ...) alone, or a transfer of `path`.
    void perform(const std::string& command, const std::string& path, bool upload, int fd, int64_t size);
    void command(const std::string& line);
    void requireConnection() const;
    // Ends the session after a failure: later calls report `reason`.
    void lose(const std::string& reason);

    Impl* impl_;
    TransferType type_ = ftBinary;
    bool connected_ = false;
    bool renameFromRefused_ = false;
    std::string lostReason_; // why a session ended by a failure, for the calls after it
    std::string cwd_;
};
