#pragma once

#include "ServerProcess.h"
#include "TempDir.h"

#include <memory>
#include <string>
#include <vector>

/// Certificates made for a test with the openssl command: a CA of the test's own and a server certificate
/// for 127.0.0.1 and localhost signed by it.
struct TestCertificates {
    std::string caFile;     ///< the CA certificate (PEM), to hand to the client
    std::string serverPem;  ///< server certificate and key (PEM), for the server
    std::string serverCert; ///< the same certificate alone
    std::string serverKey;  ///< the same key alone
    std::string selfSigned; ///< a self-signed server certificate and key that no client trusts
};

/// Makes (once per process) and returns the test certificates.
const TestCertificates& Certificates();

/// A real FTP server (tests/support/ftp_server.py, pyftpdlib) on 127.0.0.1 with a port of its own, a
/// temporary root and a log of every command it receives. Stopped by the destructor, also when a test fails.
class FtpServer {
public:
    struct Config {
        std::string user = "user";
        std::string password = "secret";
        std::string tlsPem;                ///< serve implicit TLS with this certificate
        bool refuseProtectedData = false;  ///< answer PROT P with a refusal
        std::vector<std::string> readOnly; ///< folders (relative to the root) without write permission
        std::vector<std::string> folders;  ///< folders made in the root before the server starts
        /// Further behaviour of tests/support/ftp_server.py, as its switches ("--no-size", ...).
        std::vector<std::string> switches;
        /// Store ASCII-type uploads byte for byte, as vsftpd does by default; otherwise their CR LF
        /// become LF, the line end of the server's system.
        bool asciiAsReceived = false;
    };

    FtpServer() : FtpServer(Config()) {}
    explicit FtpServer(const Config& config);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int port() const { return process_->port(); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port()); }
    /// The server's root folder, with a trailing '/'.
    const std::string& root() const { return root_.path(); }
    const TempDir& rootDir() const { return root_; }
    /// Every command line received so far, in order.
    std::vector<std::string> commands() const;
    /// The commands without the ones whose arguments vary between runs (EPSV/PASV/PORT/EPRT replies are
    /// not logged, but their commands are dropped too), and without login lines.
    std::vector<std::string> essentialCommands() const;
    /// The files received so far, in the order they arrived, as paths relative to the root.
    std::vector<std::string> received() const;
    /// How each data connection that has closed was carried, in order: "tls" or "plain".
    std::vector<std::string> dataConnections() const;
    void clearLog() const;
    void stop();

private:
    // What follows `prefix` on each line of the log that starts with it.
    std::vector<std::string> notes(const std::string& prefix) const;

    TempDir root_;
    TempDir work_;
    std::string log_;
    std::unique_ptr<ServerProcess> process_;
};
