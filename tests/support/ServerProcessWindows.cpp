#include "ServerProcess.h"

#include "WineHost.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <winsock2.h>
#include <ws2tcpip.h>

// Under wine the server is the Linux machine's program: tests/support/host_server.py starts it, writes its
// port into a file and keeps it alive while this process holds the "lifeline" connection (ServerProcess.h).

namespace fs = std::filesystem;

namespace {

// A TCP connection to the loopback port; INVALID_SOCKET when it is refused.
SOCKET connectLoopback(int port) {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s != INVALID_SOCKET && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(s);
        s = INVALID_SOCKET;
    }
    return s;
}

} // namespace

ServerProcess::ServerProcess(std::vector<std::string> args, const std::string& errorFile,
                             const std::string& what) {
    std::string portFile = TemporaryFileName("server-port");
    std::string line = "/usr/bin/python3 " +
                       WindowsQuoted(std::string(QUILLON_TEST_SUPPORT) + "/host_server.py") + " " +
                       WindowsQuoted(HostPath(portFile)) + " " +
                       WindowsQuoted(errorFile.empty() ? std::string() : HostPath(errorFile));
    for (const std::string& a : args)
        line += " " + WindowsQuoted(WithHostPaths(a));
    if (!StartHostProgram(line))
        throw std::runtime_error("cannot start " + what);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fs::exists(portFile) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::ifstream ports(portFile);
    int lifelinePort = 0;
    ports >> port_ >> lifelinePort;
    ports.close();
    std::error_code ec;
    fs::remove(portFile, ec);
    SOCKET lifeline = lifelinePort > 0 ? connectLoopback(lifelinePort) : INVALID_SOCKET;
    if (lifeline != INVALID_SOCKET)
        stdinFd_ = static_cast<intptr_t>(lifeline);
    if (port_ <= 0 || lifeline == INVALID_SOCKET)
        failedToStart(errorFile, what);
}

ServerProcess::~ServerProcess() {
    stop();
}

void ServerProcess::stop() {
    if (stdinFd_ == -1)
        return;
    ::closesocket(static_cast<SOCKET>(stdinFd_));
    stdinFd_ = -1;
    // Gone once its port refuses connections, as after a kill and wait.
    for (int i = 0; i < 500 && port_ > 0; ++i) {
        SOCKET probe = connectLoopback(port_);
        if (probe == INVALID_SOCKET)
            break;
        ::closesocket(probe);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
