#include "FtpServer.h"

#include "Shell.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

std::string scriptPath() {
    return std::string(QUILLON_TEST_SUPPORT) + "/ftp_server.py";
}

void run(const std::string& command) {
    int status = -1;
    RunShell(command + " >/dev/null 2>&1", &status);
    if (status != 0)
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
    process_ = std::make_unique<ServerProcess>(std::move(args), work_ / "server.err",
                                               "the FTP server (is python3-pyftpdlib installed?)");
}

FtpServer::~FtpServer() = default;

void FtpServer::stop() {
    process_->stop();
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
