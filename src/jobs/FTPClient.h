#pragma once

#include "FTPTls.h"
#include "platform/Errors.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
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

/// An upload started with StartPut failed; the message names the file. Raised by the next call after it,
/// so that the caller never takes it for a failure of that call (a missing directory, say).
class EFTPUploadFailed : public EFTPError {
public:
    using EFTPError::EFTPError;
};

/// A download was larger than the caller allowed; nothing more was stored.
class EFTPTooLarge : public EFTPError {
public:
    using EFTPError::EFTPError;
};

class TFTPSession;
struct TFTPRequest;
struct TRequestResult;
enum class TStop : int;

/// Options that only tests and special set-ups change.
struct FTPClientOptions {
    std::string CAFile;             ///< extra trusted CA certificates (PEM); empty: the system's store only
    long ConnectTimeoutMs = 120000; ///< for the TCP connection, the TLS handshake and the login
    long StallTimeoutMs = 60000;    ///< a reply or a transfer without progress for this long fails
    long ActiveAcceptTimeoutMs = 20000; ///< for the server to open an active-mode data connection
    long QuitTimeoutMs = 3000;          ///< for the server's answer to QUIT before the connection is cut
    int TlsVersion = 0;                 ///< 0: TLS 1.2 or 1.3; 12 or 13: that version only (for tests)
    /// Name lookups to use instead of the system's ("host:port:address[,address...]"), for tests.
    std::vector<std::string> Resolve;
};

/// A stateful FTP client (libcurl underneath). The current directory is driven only by ChangeDir, MakeDir
/// and ChangeDirUp; transfers name files relative to it. The client knows where its connection really is
/// on the server and which directories exist in this session (entered or created), and sends a command
/// only when the answer is not known already: changing into a folder it has just left costs no round
/// trip, and a transfer names its file relative to where the connection really is. Uploads started with
/// StartPut run over up to `Connections` control connections at once, an extra one opened deliberately
/// whenever all are busy; a server that refuses some is used with as many as it accepted. No
/// connection is ever replaced by a new login: once one is lost, its work fails. While it waits, the
/// client lets the window system process its messages (every 250 ms, 125 ms while connecting, also while
/// data moves), and it gives up when the user cancels the run (ECancelled).
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
    /// Passive data connections. With UseTLS they are passive whatever this says: this libcurl leaves
    /// active-mode data connections unencrypted (see PassiveForcedByTls).
    bool Passive = false;
    /// TLS: implicit (from the first byte) unless ExplicitTLS. Data connections are protected too (PROT P);
    /// a server that refuses that fails the connection rather than getting a file in clear.
    bool UseTLS = false;
    bool ExplicitTLS = false; ///< with UseTLS: AUTH TLS on a plain connection first (explicit FTPS)
    /// A certificate the user chose to trust ("SHA256:" and 64 hex digits), taken although the trust store
    /// does not vouch for it; empty for none.
    std::string TrustedFingerprint;
    /// Asked when the server's certificate is not trusted (`changed`: a trusted fingerprint was kept for
    /// this server, and the certificate is another one). True: trust it; the connection is made again and
    /// TrustedFingerprint holds it.
    std::function<bool(const TCertificateInfo& certificate, bool changed)> OnUntrustedCertificate;
    int Connections = 1; ///< at most this many connections for StartPut
    FTPClientOptions Options;
    /// Called as transfers move data, with the bytes moved since the last call (all connections).
    std::function<void(int64_t bytes)> OnBytesMoved;

    void SetTransferType(TransferType type) { type_ = type; }
    /// Whether the data connections are passive although Passive is off, because TLS was asked for.
    bool PassiveForcedByTls() const { return UseTLS && !Passive; }
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
    /// left empty. Does not depend on SIZE: a RETR that succeeds is what counts. With `maxBytes` >= 0, a
    /// file that grows past it fails with EFTPTooLarge (the server's data is not trusted).
    void Get(const std::string& remoteName, const std::string& localPath, int64_t maxBytes = -1);
    /// STOR of a local file under a name relative to the current directory. Throws EFileError when the
    /// local file cannot be read (nothing is sent then) and EFTPError when the transfer fails.
    void Put(const std::string& localPath, const std::string& remoteName);
    /// Waits until a connection is free for StartPut (another upload may end meanwhile). Throws the
    /// failure of an upload that ended badly: no further upload starts after one.
    void WaitForFreeConnection();
    /// Throws the failure (EFTPUploadFailed) of an upload started with StartPut that has ended badly.
    void ThrowIfUploadFailed();
    /// Starts the upload of a local file under a name relative to the current directory and returns; the
    /// upload runs while the caller goes on. Throws EFileError when the local file cannot be read, and
    /// the failure of an earlier upload.
    void StartPut(const std::string& localPath, const std::string& remoteName);
    /// Waits for every upload started; throws the first failure among them.
    void WaitForUploads();
    /// Number of uploads started with StartPut that have ended well.
    int UploadsDone() const { return uploadsDone_; }
    /// Sends QUIT on every connection and closes them; uploads still running are aborted. Never throws.
    /// Waits at most Options.QuitTimeoutMs for the answers, letting the window system process its messages
    /// meanwhile; after a cancel or a lost connection it cuts every connection without waiting.
    void Quit();

    /// The server's current directory as the commands sent so far have made it ("/pub/ghost"); empty when
    /// the server did not say where the login started.
    const std::string& CurrentDir() const { return cwd_; }

    /// Whether the last failed Rename was refused at RNFR (renaming not possible at all) rather than at
    /// RNTO (for example because the target exists).
    bool RenameFromRefused() const { return renameFromRefused_; }

private:
    // Runs one request on the first connection and waits for it; throws its failure.
    void runOnMain(TFTPRequest request);
    void connectOnce();
    // What a failed request means for the user (and the server's reply code, when it refused).
    std::string failureOf(const TFTPSession& session, const TRequestResult& result, bool connecting,
                          int& code);
    // Starts a request on a connection; `done` runs when it ends.
    void start(TFTPSession& session, TFTPRequest request);
    // Drives every busy connection until `until` holds, pumping messages; throws ECancelled.
    void drive(const std::function<bool()>& until);
    void finish(TFTPSession& session, TRequestResult result);
    // Stops a busy connection's request (a stall, a cancel, the end of the session).
    void stop(TFTPSession& session, TStop why);
    void command(const std::string& verb, const std::string& argument, bool isPath);
    // Closes every session, waiting for the answers to QUIT at most Options.QuitTimeoutMs.
    void closeSessions();
    void requireConnection() const;
    void throwPendingFailure() const;
    // Ends the session after a failure: later calls report `reason`.
    void lose(const std::string& reason);
    void openExtraConnection();
    TFTPSession* freeConnection();
    // The path to send from where `session` really is to `path` (absolute) or, where that is not known,
    // `asGiven`.
    std::string pathFor(const TFTPSession& session, const std::string& asGiven) const;
    void learnDirectory(const std::string& dir);

    std::mutex wakeMutex_; // with wake_: a request has ended
    std::condition_variable wake_;
    // The first one logs in at Connect and does all but StartPut alone.
    std::vector<std::unique_ptr<TFTPSession>> sessions_;
    TransferType type_ = ftBinary;
    bool connected_ = false;
    bool renameFromRefused_ = false;
    bool refusedMore_ = false; // the server refused an extra login
    int uploadsDone_ = 0;
    std::string lostReason_;     // why a session ended by a failure, for the calls after it
    std::string pendingFailure_; // the failure of an upload started with StartPut, naming its file
    int pendingCode_ = 0;
    std::string hostName_;
    bool certificateRejected_ = false; // the last login failed on the server's certificate
    TCertificateInfo rejectedCertificate_;
    std::string cwd_;                // where the caller is, as far as the commands tell
    std::vector<std::string> known_; // directories known to exist in this session
};
