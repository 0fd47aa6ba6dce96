#pragma once

#include "ServerProcess.h"
#include "TempDir.h"

#include <memory>
#include <string>

/// The configuration vsftpd is started with (paths as the Linux machine names them).
std::string VsftpdConfig(int port, const std::string& anonRoot, const std::string& certificate,
                         const std::string& key, bool implicitTls);

/// vsftpd (a widely used C server) on 127.0.0.1 serving implicit TLS to anonymous users, who may upload
/// into "pub". It demands protected data connections that resume the control connection's TLS session,
/// as its defaults do. Stopped by the destructor.
class VsftpdServer {
public:
    /// `implicitTls` false: explicit TLS (AUTH TLS), which it then demands before the login.
    VsftpdServer(const std::string& certificate, const std::string& key, bool implicitTls = true);
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    /// The folder that "pub" on the server stands for, with a trailing '/'.
    std::string pub() const { return root_ / "anon/pub/"; }

private:
    TempDir root_;
    int pid_ = -1;
    int port_ = 0;
    std::unique_ptr<ServerProcess> process_; // Windows: the Linux machine's vsftpd through host_server.py
};
