#include "VsftpdServer.h"

#include "Shell.h"
#include "WineHost.h"

#include <chrono>
#include <stdexcept>
#include <thread>
#include <winsock2.h>

// vsftpd is the Linux machine's: prepared and started through /bin/sh, kept alive by host_server.py's
// lifeline like the other test servers.

namespace {

int freePort() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::closesocket(s);
    return ntohs(a.sin_port);
}

} // namespace

VsftpdServer::VsftpdServer(const std::string& certificate, const std::string& key, bool implicitTls) {
    std::string anon = root_.mkdir("anon"), pub = root_.mkdir("anon/pub");
    port_ = freePort();
    std::string config = root_.write("vsftpd.conf", VsftpdConfig(port_, HostPath(anon), HostPath(certificate),
                                                                 HostPath(key), implicitTls));
    int status = -1;
    RunShell("test -x /usr/sbin/vsftpd && chown ftp:ftp '" + pub + "' && chmod 555 '" + anon +
                 "' && mkdir -p /var/run/vsftpd/empty",
             &status);
    if (status != 0)
        throw std::runtime_error("vsftpd cannot be prepared (is it installed, with its user \"ftp\"?)");
    // It prints nothing: the port it was given is the first line host_server.py reads.
    process_ = std::make_unique<ServerProcess>(
        std::vector<std::string>{
            "/bin/sh", "-c", "echo " + std::to_string(port_) + "; exec /usr/sbin/vsftpd " + HostPath(config)},
        root_ / "vsftpd.out", "vsftpd");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

VsftpdServer::~VsftpdServer() {
    process_.reset();
    // vsftpd stores names as the CP932 bytes it was sent; wine cannot name such a file, and removing the
    // folder from here would loop on it. The Linux side removes what the server wrote.
    RunShell("rm -rf '" + root_ / "anon" + "'");
}
