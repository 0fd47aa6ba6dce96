#pragma once

#include "platform/Errors.h"

#include <cstdint>
#include <string>

/// A failure of the FTP client; the message carries the server's reply or the transport's error.
class EFTPError : public EQuillon {
public:
    using EQuillon::EQuillon;
};

/// Options that only tests and special set-ups change.
struct FTPClientOptions {
    std::string CAFile;              ///< extra trusted CA certificates (PEM); empty: the system's store only
    long ConnectTimeoutMs = 120000;  ///< for the TCP connection, the TLS handshake and the login
    long ResponseTimeoutMs = 120000; ///< for any later reply of the server
};

/// A stateful FTP client over one control connection (libcurl underneath). The server's current directory
/// is driven only by ChangeDir, MakeDir and ChangeDirUp; transfers name files relative to it. While it
/// waits, the client lets the window system process its messages (every 250 ms, 125 ms while connecting).
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

    void SetTransferType(TransferType type) { type_ = type; }
    /// Connects and logs in. Throws EFTPError ("Connect timed out." when no connection stood in time).
    void Connect();
    bool Connected() const { return connected_; }
    void ChangeDir(const std::string& dir); ///< CWD; throws EFTPError with the server's reply
    void MakeDir(const std::string& dir);   ///< MKD; throws EFTPError with the server's reply
    void ChangeDirUp();                     ///< CDUP; throws EFTPError with the server's reply
    /// RETR of a file of the current directory to a new local file. Throws EFileError when the local file
    /// already exists (nothing is sent then) and EFTPError when the transfer fails; the local file is then
    /// left empty.
    void Get(const std::string& remoteName, const std::string& localPath);
    /// STOR of a local file under a name relative to the current directory. Throws EFileError when the
    /// local file cannot be read (nothing is sent then) and EFTPError when the transfer fails.
    void Put(const std::string& localPath, const std::string& remoteName);
    /// Sends QUIT when connected and closes the connection; never throws.
    void Quit();

    /// Host name and port as parsed from Host.
    static void SplitHost(const std::string& host, std::string& name, int& port);

private:
    struct Impl;
    // Runs one request on the control connection: `command` (CWD ...) alone, or a transfer of `path`.
    void perform(const std::string& command, const std::string& path, bool upload, int fd, int64_t size);
    void requireConnection() const;

    Impl* impl_;
    TransferType type_ = ftBinary;
    bool connected_ = false;
    std::string lostReason_; // why a session ended by a failure, for the calls after it
};
