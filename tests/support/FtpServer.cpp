#include "FtpServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string scriptPath() {
    return std::string(QUILLON_TEST_SUPPORT) + "/ftp_server.py";
}

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("command failed: " + command);
}

} // namespace

const TestCertificates& Certificates() {
    static TempDir dir;
    static TestCertificates certs = [] {
        TestCertificates c;
        std::string d = dir.path();
        run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=QuillonTestCA -keyout " + d +
            "ca.key -out " + d + "ca.pem");
        dir.write("san.cnf", "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        run("openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout " + d + "server.key -out " + d +
            "server.csr");
        run("openssl x509 -req -in " + d + "server.csr -CA " + d + "ca.pem -CAkey " + d +
            "ca.key -CAcreateserial -days 2 -extfile " + d + "san.cnf -out " + d + "server.crt");
        dir.write("server.pem", ReadAll(d + "server.crt") + ReadAll(d + "server.key"));
        run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
            "subjectAltName=IP:127.0.0.1 -keyout " +
            d + "self.key -out " + d + "self.crt");
        dir.write("self.pem", ReadAll(d + "self.crt") + ReadAll(d + "self.key"));
        c.caFile = d + "ca.pem";
        c.serverPem = d + "server.pem";
        c.serverCert = d + "server.crt";
        c.serverKey = d + "server.key";
        c.selfSigned = d + "self.pem";
        return c;
    }();
    return certs;
}

FtpServer::FtpServer(const Config& config) {
    log_ = work_ / "commands.log";
    for (const std::string& folder : config.folders)
        root_.mkdir(folder);
    std::vector<std::string> args = {
        "/usr/bin/python3", scriptPath(), "--root",     root_.path(),   "--log", log_,
        "--user",           config.user,  "--password", config.password};
    if (!config.tlsPem.empty()) {
        args.push_back("--cert");
        args.push_back(config.tlsPem);
    }
    if (config.refuseProtectedData)
        args.push_back("--no-prot");
    if (config.asciiAsReceived)
        args.push_back("--ascii-as-received");
    for (const std::string& folder : config.readOnly) {
        root_.mkdir(folder);
        args.push_back("--readonly");
        args.push_back(folder);
    }
    args.insert(args.end(), config.switches.begin(), config.switches.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string errors = work_ / "server.err";
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0)
        throw std::runtime_error("cannot start the FTP server");
    pid_ = pid;
    stdinFd_ = in[1];

    // The first line is the port; wait for it at most 20 s.
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos) {
        if (::poll(&p, 1, 20000) <= 0)
            break;
        char buffer[64];
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) {
        stop();
        std::string why;
        try {
            why = ReadAll(work_ / "server.err");
        } catch (const std::exception&) {
        }
        throw std::runtime_error("the FTP server did not start (is python3-pyftpdlib installed?) " + why);
    }
}

FtpServer::~FtpServer() {
    stop();
}

void FtpServer::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    if (stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
}

std::vector<std::string> FtpServer::commands() const {
    std::vector<std::string> lines;
    std::ifstream in(log_);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> FtpServer::essentialCommands() const {
    std::vector<std::string> lines;
    for (const std::string& c : commands()) {
        std::string verb = c.substr(0, c.find(' '));
        if (verb == "#" || verb == "EPSV" || verb == "PASV" || verb == "PORT" || verb == "EPRT" ||
            verb == "USER" || verb == "PASS" || verb == "PBSZ" || verb == "PROT")
            continue;
        lines.push_back(c);
    }
    return lines;
}

std::vector<std::string> FtpServer::notes(const std::string& prefix) const {
    std::vector<std::string> rest;
    for (const std::string& c : commands())
        if (c.rfind(prefix, 0) == 0)
            rest.push_back(c.substr(prefix.size()));
    return rest;
}

std::vector<std::string> FtpServer::received() const {
    return notes("# received ");
}

std::vector<std::string> FtpServer::dataConnections() const {
    return notes("# data ");
}

void FtpServer::clearLog() const {
    std::ofstream(log_, std::ios::trunc);
}
