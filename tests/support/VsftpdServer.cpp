#include "VsftpdServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

bool accepting(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

VsftpdServer::VsftpdServer(const std::string& certificate, const std::string& key, bool implicitTls) {
    const char* binary = "/usr/sbin/vsftpd";
    if (::access(binary, X_OK) != 0)
        throw std::runtime_error("vsftpd is not installed (scripts/setup installs it)");
    passwd* ftp = ::getpwnam("ftp");
    if (!ftp)
        throw std::runtime_error("the user \"ftp\" that vsftpd's anonymous sessions run as does not exist");
    std::string pubDir = root_.mkdir("anon/pub");
    if (::chown(pubDir.c_str(), ftp->pw_uid, ftp->pw_gid) != 0)
        throw std::runtime_error("cannot hand pub to the ftp user");
    ::chmod((root_ / "anon").c_str(), 0555); // vsftpd refuses a writable anonymous root
    ::mkdir("/var/run/vsftpd", 0755);
    ::mkdir("/var/run/vsftpd/empty", 0755);

    port_ = freePort();
    std::string config =
        root_.write("vsftpd.conf", VsftpdConfig(port_, root_ / "anon", certificate, key, implicitTls));
    std::string log = root_ / "vsftpd.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string configArg = config;
    char* argv[] = {const_cast<char*>(binary), configArg.data(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, binary, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start vsftpd");
    pid_ = pid;
    for (int i = 0; i < 100 && !accepting(port_); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!accepting(port_))
        throw std::runtime_error("vsftpd did not start: " + ReadAll(log));
}

VsftpdServer::~VsftpdServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    ::chmod((root_ / "anon").c_str(), 0755);
}
