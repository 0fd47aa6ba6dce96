#include "jobs/FTPClient.h"
#include "jobs/RemotePath.h"
#include "platform/RunControl.h"
#include "support/FtpServer.h"
#include "support/ScriptedPrompts.h"
#include "support/TestData.h"

#include "platform/Sockets.h"

#include <chrono>
#include <gtest/gtest.h>
#include <random>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace {

using Commands = std::vector<std::string>;

void setUp(TFTPClient& c, const std::string& address, bool passive = true) {
    c.Host = address;
    c.Username = "user";
    c.Password = "secret";
    c.Passive = passive;
    c.Options.ConnectTimeoutMs = 10000;
    c.Options.StallTimeoutMs = 10000;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

// A TCP port that accepts connections into its backlog but never says anything.
struct SilentPort {
    intptr_t fd = -1;
    int port = 0;
    SilentPort() {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        using socklen_t = int;
#endif
        fd = OpenSocket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd, 4);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~SilentPort() {
        CloseSocket(fd);
    }
};

// A port with nothing listening on it.
int closedPort() {
    SilentPort p;
    return p.port;
}

} // namespace

TEST(FTPClient, DirectoryCommandsGoOutExactlyAsCalledOnOneConnection) {
    FtpServer server;
    server.rootDir().mkdir("pub");
    TFTPClient c;
    setUp(c, server.address());
    c.Connect();
    EXPECT_TRUE(c.Connected());
    c.ChangeDir("pub");
    EXPECT_EQ(errorOf([&] { c.ChangeDir("missing"); }), "550 No such file or directory.");
    c.MakeDir("ghost");
    c.ChangeDir("ghost");
    c.ChangeDirUp();
    EXPECT_EQ(c.CurrentDir(), "/pub");
    c.Quit();
    EXPECT_FALSE(c.Connected());
    // A directory just made is entered with a CWD all the same (a server may refuse it); leaving it costs no
    // command.
    EXPECT_EQ(server.essentialCommands(),
              (Commands{"PWD", "CWD pub", "CWD missing", "MKD ghost", "CWD ghost", "QUIT"}));
    EXPECT_TRUE(std::filesystem::is_directory(server.root() + "pub/ghost"));
}

TEST(FTPClient, TransfersAreByteForByteInBothModesAndTypes) {
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        FtpServer server;
        TempDir local;
        std::string data = RandomBytes(300000);
        std::string src = local.write("src.bin", data);
        TFTPClient c;
        setUp(c, server.address(), passive);
        c.SetTransferType(TFTPClient::ftBinary);
        c.Connect();
        c.MakeDir("sub");
        c.Put(src, "sub/ソ表能.bin"); // CP932 on the wire, decoded by the server
        EXPECT_EQ(ReadAll(server.root() + "sub/ソ表能.bin"), data);
        c.ChangeDir("sub");
        c.Get("ソ表能.bin", local / "back.bin");
        EXPECT_EQ(ReadAll(local / "back.bin"), data);

        std::string page = "<html>\n<body>%uploaddate</body>\n</html>\n";
        c.SetTransferType(TFTPClient::ftASCII);
        c.Put(local.write("page.html", page), "page.html");
        EXPECT_EQ(ReadAll(server.root() + "sub/page.html"), page);
        c.Quit();
        Commands cmds = server.essentialCommands();
        EXPECT_NE(std::find(cmds.begin(), cmds.end(), "TYPE I"), cmds.end());
        EXPECT_NE(std::find(cmds.begin(), cmds.end(), "TYPE A"), cmds.end());
        EXPECT_NE(std::find(cmds.begin(), cmds.end(), "STOR sub/ソ表能.bin"), cmds.end());
        bool sawActive = false;
        for (const std::string& line : server.commands())
            sawActive = sawActive || line.rfind("EPRT", 0) == 0 || line.rfind("PORT", 0) == 0;
        EXPECT_EQ(sawActive, !passive);
    }
}

TEST(FTPClient, AsciiUploadsCarryEveryLineEndAsOneCrLf) {
    FtpServer::Config config;
    config.asciiAsReceived = true; // what came over the wire
    FtpServer server(config);
    TempDir local;
    // CR LF, LF and lone CR line ends in lines of varying length, so that they also fall on the edges of
    // the pieces the client reads; a CR ends the file.
    std::string text, wire;
    const char* const ends[] = {"\r\n", "\n", "\r"};
    for (int i = 0; i < 40000; ++i) {
        std::string line(static_cast<size_t>(i % 13), 'a' + static_cast<char>(i % 26));
        text += line + ends[i % 3];
        wire += line + (i % 3 == 2 ? "\r" : "\r\n");
    }
    text += "\r";
    wire += "\r";
    std::string src = local.write("page.html", text);
    TFTPClient c;
    setUp(c, server.address());
    c.Connect();
    c.SetTransferType(TFTPClient::ftASCII);
    c.Put(src, "page.html");
    c.SetTransferType(TFTPClient::ftBinary);
    c.Put(src, "page.bin");
    c.Quit();
    EXPECT_EQ(ReadAll(server.root() + "page.html"), wire);
    EXPECT_EQ(ReadAll(server.root() + "page.bin"), text);
}

TEST(FTPClient, ConnectionFailuresGiveClearMessages) {
    FtpServer server;
    TFTPClient c;
    setUp(c, server.address());
    c.Password = "wrong";
    EXPECT_NE(errorOf([&] { c.Connect(); }).find("530"), std::string::npos);
    EXPECT_FALSE(c.Connected());

    setUp(c, "no-such-host.invalid");
    EXPECT_NE(errorOf([&] { c.Connect(); }).find("resolve"), std::string::npos);

    setUp(c, "127.0.0.1:" + std::to_string(closedPort()));
    EXPECT_NE(errorOf([&] { c.Connect(); }), "(no error)");

    setUp(c, "");
    EXPECT_EQ(errorOf([&] { c.Connect(); }), "FTPサーバーが設定されていません。");
    EXPECT_EQ(errorOf([&] { c.ChangeDir("x"); }), "サーバーに接続していません。");
}

TEST(FTPClient, SilentServerTimesOutWhilePumpingMessages) {
    SilentPort silent;
    ScriptedPrompts prompts;
    TFTPClient c;
    setUp(c, "127.0.0.1:" + std::to_string(silent.port));
    c.Options.ConnectTimeoutMs = 1500;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(errorOf([&] { c.Connect(); }), "Connect timed out.");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(seconds, 1.2);
    EXPECT_LT(seconds, 5.0);
    EXPECT_GE(prompts.pumps, 5); // 125 ms slices while connecting
}

TEST(FTPClient, TlsMismatchesAndUntrustedCertificatesFail) {
    FtpServer plain;
    TFTPClient c;
    setUp(c, plain.address());
    c.UseTLS = true;
    c.Options.ConnectTimeoutMs = 3000;
    c.Options.CAFile = Certificates().caFile;
    EXPECT_NE(errorOf([&] { c.Connect(); }), "(no error)");

    FtpServer::Config config;
    config.tlsPem = Certificates().serverPem;
    FtpServer tls(config);
    TFTPClient p;
    setUp(p, tls.address());
    p.Options.ConnectTimeoutMs = 2000;
    EXPECT_EQ(errorOf([&] { p.Connect(); }), "Connect timed out.");

    config.tlsPem = Certificates().selfSigned;
    FtpServer untrusted(config);
    TFTPClient u;
    setUp(u, untrusted.address());
    u.UseTLS = true;
    u.Options.CAFile = Certificates().caFile;
    EXPECT_NE(errorOf([&] { u.Connect(); }).find("サーバーの証明書を信頼できません"), std::string::npos);
}

TEST(FTPClient, RefusedDirectoryAndLocalFileProblems) {
    FtpServer::Config config;
    config.readOnly = {"locked"};
    FtpServer server(config);
    TempDir local;
    TFTPClient c;
    setUp(c, server.address());
    c.Connect();
    EXPECT_NE(errorOf([&] { c.MakeDir("locked/sub"); }).find("550"), std::string::npos);
    EXPECT_NE(errorOf([&] { c.Put(local.write("x.txt", "x"), "locked/x.txt"); }).find("550"),
              std::string::npos);
    EXPECT_TRUE(c.Connected()); // a refused upload leaves the session usable

    c.Connect();
    server.clearLog();
    EXPECT_NE(errorOf([&] { c.Put(local / "missing.txt", "m.txt"); }).find("missing.txt"), std::string::npos);
    server.rootDir().write("remote.txt", "new");
    std::string existing = local.write("existing.txt", "mine");
    EXPECT_NE(errorOf([&] { c.Get("remote.txt", existing); }).find("同じ名前のファイルがすでにあります"),
              std::string::npos);
    EXPECT_EQ(ReadAll(existing), "mine");
    EXPECT_TRUE(c.Connected());
    c.Quit();
    EXPECT_EQ(server.essentialCommands(), Commands{"QUIT"}); // nothing was sent for either
}

TEST(FTPClient, HostForms) {
    std::string name;
    int port = 0;
    SplitHost("ftp.example.jp", name, port);
    EXPECT_EQ(name, "ftp.example.jp");
    EXPECT_EQ(port, 21);
    SplitHost("ftp.example.jp:2121", name, port);
    EXPECT_EQ(name, "ftp.example.jp");
    EXPECT_EQ(port, 2121);
    SplitHost("[::1]:990", name, port);
    EXPECT_EQ(name, "::1");
    EXPECT_EQ(port, 990);
    SplitHost("::1", name, port);
    EXPECT_EQ(name, "::1");
    EXPECT_EQ(port, 21);
}

TEST(FTPClient, ALostControlConnectionIsNeverReplacedByANewLogin) {
    // The host name has an IPv6 and an IPv4 address, and the server drops the connection after a STOR:
    // libcurl would log in again on the other address, in the login directory.
    FtpServer::Config config;
    config.switches = {"--also-ipv6", "--drop-after-stor", "1"};
    FtpServer server(config);
    server.rootDir().mkdir("pub");
    TempDir local;
    TFTPClient c;
    setUp(c, "dual.test:" + std::to_string(server.port()));
    c.Options.Resolve = {"dual.test:" + std::to_string(server.port()) + ":[::1],127.0.0.1"};
    c.Connect();
    c.ChangeDir("pub");
    c.Put(local.write("a.txt", "a"), "a.txt");
    EXPECT_EQ(errorOf([&] { c.Put(local.write("b.txt", "b"), "b.txt"); }), "サーバーとの接続が切れました。");
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(errorOf([&] { c.ChangeDir("pub"); }), "サーバーとの接続が切れました。");
    int logins = 0;
    for (const std::string& line : server.commands())
        logins += line.rfind("USER", 0) == 0;
    EXPECT_EQ(logins, 1);
    EXPECT_FALSE(std::filesystem::exists(server.root() + "b.txt"));
    EXPECT_FALSE(std::filesystem::exists(server.root() + "pub/b.txt"));
}

TEST(FTPClient, NamesGoOutAsFormedAndDownloadsNeedNoSize) {
    FtpServer::Config config;
    config.switches = {"--no-size"};
    FtpServer server(config);
    server.rootDir().mkdir("pub");
    server.rootDir().mkdir("other");
    server.rootDir().write("pub/list.txt", "the list");
    TempDir local;
    TFTPClient c;
    setUp(c, server.address());
    c.Connect();
    c.ChangeDir("pub");
    EXPECT_EQ(c.CurrentDir(), "/pub");
    c.Put(local.write("x.txt", "x"), "../other/./x.txt");
    EXPECT_EQ(ReadAll(server.root() + "other/x.txt"), "x");
    c.Get("list.txt", local / "list.txt"); // SIZE is refused; the RETR decides
    EXPECT_EQ(ReadAll(local / "list.txt"), "the list");
    Commands cmds = server.essentialCommands();
    EXPECT_NE(std::find(cmds.begin(), cmds.end(), "STOR ../other/./x.txt"), cmds.end());
}

TEST(FTPClient, StalledTransfersFailAfterTheStallTime) {
    FtpServer::Config config;
    config.switches = {"--stall-after", "65536"};
    FtpServer server(config);
    server.rootDir().write("big.bin", RandomBytes(1 << 20));
    TempDir local;
    for (bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        TFTPClient c;
        setUp(c, server.address());
        c.Options.StallTimeoutMs = 1500;
        c.Connect();
        auto start = std::chrono::steady_clock::now();
        std::string error =
            upload ? errorOf([&] { c.Put(local.write("up.bin", RandomBytes(64 << 20)), "up.bin"); })
                   : errorOf([&] { c.Get("big.bin", local / "big.bin"); });
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(error, "サーバーの応答が止まりました（2秒間、何も届きませんでした）。");
        EXPECT_GT(seconds, 1.4);
        EXPECT_LT(seconds, 6.0);
        EXPECT_FALSE(c.Connected());
        c.Quit(); // returns at once on the cut connection
    }
}

TEST(FTPClient, ActiveModeWithoutADataConnectionSuggestsPassive) {
    FtpServer::Config config;
    config.switches = {"--ignore-port"};
    FtpServer server(config);
    TempDir local;
    TFTPClient c;
    setUp(c, server.address(), false);
    c.Options.ActiveAcceptTimeoutMs = 1000;
    c.Connect();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(errorOf([&] { c.Put(local.write("a.txt", "a"), "a.txt"); }),
              "サーバーが1秒以内にデータ接続を開きませんでした（能動モード）。ジョブのサーバー設定でパッシブ"
              "モードにしてく"
              "ださい。");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
}

TEST(FTPClient, QuitIsBoundedAgainstAServerThatStoppedAnswering) {
    for (bool cancelled : {false, true}) {
        SCOPED_TRACE(cancelled ? "after a cancel" : "at the end of a job");
        FtpServer::Config config;
        config.switches = {"--silent-after", "CWD"};
        FtpServer server(config);
        server.rootDir().mkdir("pub");
        ScriptedPrompts prompts;
        TFTPClient c;
        setUp(c, server.address());
        c.Options.QuitTimeoutMs = 1000;
        c.Connect();
        c.ChangeDir("pub"); // answered; nothing after it is
        if (cancelled)
            RequestCancel();
        int pumpsBefore = prompts.pumps;
        auto start = std::chrono::steady_clock::now();
        c.Quit();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ClearCancel();
        EXPECT_LT(seconds, cancelled ? 0.5 : 1.5);
        if (!cancelled) {
            EXPECT_GT(seconds, 0.9);                   // the server had its chance to answer QUIT
            EXPECT_GE(prompts.pumps - pumpsBefore, 5); // and the window stayed live meanwhile
        }
        EXPECT_FALSE(c.Connected());
    }
}

TEST(FTPClient, RepliesInUtf8OrCp932AreReadable) {
    for (const char* encoding : {"utf-8", "cp932"}) {
        SCOPED_TRACE(encoding);
        FtpServer::Config config;
        config.switches = {"--reply-encoding", encoding, "--refuse-stor", "容量が足りません"};
        FtpServer server(config);
        TempDir local;
        TFTPClient c;
        setUp(c, server.address());
        c.Connect();
        EXPECT_EQ(errorOf([&] { c.Put(local.write("a.txt", "a"), "a.txt"); }), "552 容量が足りません");
    }
}

TEST(FTPClient, CancelStopsATransferWithinASecond) {
    FtpServer::Config config;
    config.switches = {"--stall-after", "65536"};
    FtpServer server(config);
    server.rootDir().write("big.bin", RandomBytes(1 << 20));
    TempDir local;
    ScriptedPrompts prompts;
    std::chrono::steady_clock::time_point cancelledAt;
    TFTPClient c;
    setUp(c, server.address());
    c.Connect();
    int atStart = -1;
    prompts.onPump = [&](int n) {
        if (atStart < 0)
            atStart = n;
        if (n == atStart + 4 && !CancelRequested()) { // about a second into the stalled transfer
            cancelledAt = std::chrono::steady_clock::now();
            RequestCancel();
        }
    };
    EXPECT_EQ(errorOf([&] { c.Get("big.bin", local / "big.bin"); }), "ユーザーが中止しました。");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - cancelledAt).count();
    EXPECT_LT(seconds, 1.0);
    EXPECT_FALSE(c.Connected());
    ClearCancel();
}
