#include "jobs/FTPClient.h"
#include "jobs/Settings.h"
#include "platform/IniFile.h"
#include "run/JobRunner.h"
#include "support/FtpServer.h"
#include "support/JobFixtures.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/VectorSink.h"
#include "support/VsftpdServer.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

FtpServer tlsServer(const std::string& pem, std::vector<std::string> switches = {}) {
    FtpServer::Config config;
    config.tlsPem = pem;
    config.switches = std::move(switches);
    return FtpServer(config);
}

void setUp(TFTPClient& c, const std::string& address) {
    c.Host = address;
    c.Username = "user";
    c.Password = "secret";
    c.Passive = true;
    c.UseTLS = true;
    c.Options.CAFile = Certificates().caFile;
    c.Options.ConnectTimeoutMs = 5000;
    c.Options.StallTimeoutMs = 5000;
}

// Uploads a file and fetches it back over the connection's protected data connections.
void roundTrip(TFTPClient& c, const TempDir& local, const std::string& name) {
    std::string data = RandomBytes(50000);
    c.Put(local.write(name, data), name);
    std::string back = local / (name + ".back");
    fs::remove(back);
    c.Get(name, back);
    EXPECT_EQ(ReadAll(back), data);
}

std::unique_ptr<TSettings> tlsJob(const std::string& address, const std::string& folder) {
    auto job = std::make_unique<TSettings>();
    job->Name = "tls";
    job->OwnFTP = std::make_unique<TFTPConfig>();
    job->OwnFTP->Server = address;
    job->OwnFTP->ID = "user";
    job->OwnFTP->SetPassword("secret");
    job->OwnFTP->Passive = true;
    job->OwnFTP->SSL = true;
    job->Directory = "pub";
    job->TargetFolder = folder;
    job->ProcessName = "*.txt";
    job->ClientOptions.CAFile = Certificates().caFile;
    job->ClientOptions.ConnectTimeoutMs = 5000;
    job->ClientOptions.StallTimeoutMs = 5000;
    return job;
}

std::pair<Lines, bool> run(TSettings& job) {
    VectorSink sink;
    RunCounts counts = RunJobs(
        1, [&](int) { return &job; }, sink);
    return {sink.lines, counts.Succeeded == 1};
}

} // namespace

TEST(FTPTls, ExplicitTlsWithPyftpdlibAndVsftpd) {
    TempDir local;
    {
        FtpServer server = tlsServer(Certificates().serverPem, {"--explicit"});
        TFTPClient c;
        setUp(c, server.address());
        c.ExplicitTLS = true;
        c.Connect();
        roundTrip(c, local, "a.bin");
        c.Quit();
        Lines cmds = server.commands();
        ASSERT_GE(cmds.size(), 3u);
        EXPECT_EQ(cmds[0], "AUTH TLS"); // before the login
        EXPECT_NE(std::find(cmds.begin(), cmds.end(), "PBSZ 0"), cmds.end());
        EXPECT_NE(std::find(cmds.begin(), cmds.end(), "PROT P"), cmds.end());
    }
    {
        VsftpdServer server(Certificates().serverCert, Certificates().serverKey, false);
        TFTPClient c;
        setUp(c, server.address());
        c.Username = "anonymous";
        c.Password = "guest";
        c.ExplicitTLS = true;
        c.Connect();
        c.ChangeDir("pub");
        roundTrip(c, local, "b.bin");
        EXPECT_TRUE(fs::exists(server.pub() + "b.bin"));
    }
}

TEST(FTPTls, FailuresSayWhatToChange) {
    TempDir local;
    // Explicit TLS asked of a server without TLS: no fall back to plain text.
    FtpServer plain;
    TFTPClient e;
    setUp(e, plain.address());
    e.ExplicitTLS = true;
    EXPECT_EQ(
        errorOf([&] { e.Connect(); }),
        "サーバーがAUTH TLSを拒否しました。明示的TLSには対応していません。最初からTLSで通信するサーバーなら"
        "「明示的TLS(AUTH "
        "TLS)」のチェックを、TLSに対応していないサーバーなら「SSL」のチェックを外してください。");
    for (const std::string& c : plain.commands())
        EXPECT_NE(c.rfind("USER", 0), 0u) << "the login went out in plain text";

    // Implicit TLS asked of a server that expects AUTH TLS.
    FtpServer explicitOnly = tlsServer(Certificates().serverPem, {"--explicit"});
    TFTPClient i;
    setUp(i, explicitOnly.address());
    std::string error = errorOf([&] { i.Connect(); });
    EXPECT_NE(error.find("「明示的TLS(AUTH TLS)」にチェックを入れ"), std::string::npos) << error;

    // A server of TLS 1.1 at most.
    FtpServer old = tlsServer(Certificates().serverPem, {"--tls-max", "1.1"});
    TFTPClient o;
    setUp(o, old.address());
    error = errorOf([&] { o.Connect(); });
    EXPECT_NE(error.find("TLSのバージョン(1.2または1.3)に対応していません"), std::string::npos) << error;
}

TEST(FTPTls, TlsOnePointThreeOnlyAndVsftpdSessionReuseOverBothVersions) {
    TempDir local;
    FtpServer modern = tlsServer(Certificates().serverPem, {"--tls-min", "1.3"});
    TFTPClient m;
    setUp(m, modern.address());
    m.Connect();
    roundTrip(m, local, "m.bin");
    m.Quit();

    // vsftpd demands that every data connection resume the control connection's session.
    VsftpdServer server(Certificates().serverCert, Certificates().serverKey);
    for (int version : {12, 13}) {
        for (int run = 0; run < 10; ++run) {
            SCOPED_TRACE("TLS " + std::to_string(version) + ", run " + std::to_string(run));
            TFTPClient c;
            setUp(c, server.address());
            c.Username = "anonymous";
            c.Password = "guest";
            c.Options.TlsVersion = version;
            c.Connect();
            c.ChangeDir("pub");
            for (int file = 0; file < 3; ++file)
                ASSERT_EQ(errorOf([&] {
                              c.Put(local.write("f.txt", std::to_string(run)), "f" + std::to_string(file));
                          }),
                          "(no error)");
        }
    }
}

TEST(FTPTls, AnUntrustedCertificateIsTheUsersCallAndIsRememberedByItsFingerprint) {
    FtpServer server = tlsServer(Certificates().selfSigned);
    server.rootDir().mkdir("pub");
    TempDir local;
    local.write("a.txt", "a");
    auto job = tlsJob(server.address(), local.path());

    {
        SCOPED_TRACE("answered No");
        ScriptedPrompts prompts;
        prompts.answers.push_back(false);
        auto [log, ok] = run(*job);
        EXPECT_FALSE(ok);
        ASSERT_EQ(prompts.questions.size(), 1u);
        const auto& q = prompts.questions[0];
        EXPECT_EQ(q.title, "Quillon");
        EXPECT_TRUE(q.defaultNo);
        for (const char* part : {"サーバー: ", "信頼されない理由: ", "発行先: ", "発行者: ", "有効期間: ",
                                 "SHA-256 フィンガープリント: SHA256:", "この証明書を信頼しますか？"})
            EXPECT_NE(q.text.find(part), std::string::npos) << part << "\n" << q.text;
        EXPECT_EQ(q.text.find("変わっています"), std::string::npos);
        EXPECT_EQ(log[log.size() - 2].rfind(
                      "FTP接続が出来ませんでした。転送は行われません：サーバーの証明書を信頼できません："
                      "自己署名の証明書です。",
                      0),
                  0u)
            << log[log.size() - 2];
        EXPECT_TRUE(job->OwnFTP->CertFingerprint.empty());
    }
    std::string fingerprint;
    {
        SCOPED_TRACE("answered Yes");
        ScriptedPrompts prompts;
        prompts.answers.push_back(true);
        auto [log, ok] = run(*job);
        EXPECT_TRUE(ok) << log[log.size() - 2];
        EXPECT_EQ(prompts.questions.size(), 1u);
        fingerprint = job->OwnFTP->CertFingerprint;
        EXPECT_EQ(fingerprint.size(), 7u + 64u);
        EXPECT_EQ(fingerprint.rfind("SHA256:", 0), 0u);
        EXPECT_TRUE(fs::exists(server.root() + "pub/a.txt"));
    }
    {
        SCOPED_TRACE("trusted from now on, also after a save and a load");
        TempDir dir;
        IniFile ini(dir / "m.ini");
        job->SaveToSection(ini, "0");
        ini.UpdateFile();
        TSettings loaded;
        loaded.LoadFromSection(IniFile(dir / "m.ini"), "0");
        EXPECT_EQ(loaded.OwnFTP->CertFingerprint, fingerprint);
        loaded.ClientOptions = job->ClientOptions;
        loaded.Name = "again";
        local.write("a.txt", "changed");
        ScriptedPrompts prompts;
        auto [log, ok] = run(loaded);
        EXPECT_TRUE(ok) << log[log.size() - 2];
        EXPECT_TRUE(prompts.questions.empty());
    }
    {
        SCOPED_TRACE("another certificate");
        FtpServer other = tlsServer(Certificates().serverPem); // signed by a CA this job does not know
        other.rootDir().mkdir("pub");
        auto changed = tlsJob(other.address(), local.path());
        changed->OwnFTP->CertFingerprint = fingerprint;
        changed->ClientOptions.CAFile.clear();
        ScriptedPrompts prompts;
        prompts.answers.push_back(false);
        auto [log, ok] = run(*changed);
        EXPECT_FALSE(ok);
        ASSERT_EQ(prompts.questions.size(), 1u);
        EXPECT_EQ(prompts.questions[0].text.rfind(
                      "サーバーの証明書が、以前に信頼した証明書から変わっています。", 0),
                  0u);
        EXPECT_EQ(changed->OwnFTP->CertFingerprint, fingerprint); // a No changes nothing
    }
}

TEST(FTPTls, TheTrustedFingerprintCoversDataConnectionsToo) {
    // With the fingerprint of the self-signed certificate kept, the control connection and each data
    // connection are taken without a question.
    FtpServer server = tlsServer(Certificates().selfSigned);
    TempDir local;
    TFTPClient probe;
    setUp(probe, server.address());
    TCertificateInfo seen;
    probe.OnUntrustedCertificate = [&](const TCertificateInfo& c, bool) {
        seen = c;
        return false;
    };
    EXPECT_NE(errorOf([&] { probe.Connect(); }), "(no error)");
    ASSERT_FALSE(seen.Fingerprint.empty());

    TFTPClient c;
    setUp(c, server.address());
    c.TrustedFingerprint = seen.Fingerprint;
    int asked = 0;
    c.OnUntrustedCertificate = [&](const TCertificateInfo&, bool) { return ++asked, false; };
    c.Connect();
    roundTrip(c, local, "d.bin");
    EXPECT_EQ(asked, 0);
}

TEST(FTPTls, ACertificateForAnotherNameIsNotTrustedUntilTheUserSaysSo) {
    // The host's certificate is valid, but for its own names, not for the user's domain.
    FtpServer server = tlsServer(Certificates().serverPem);
    TempDir local;
    TFTPClient c;
    setUp(c, "ghost.example:" + std::to_string(server.port()));
    c.Options.Resolve = {"ghost.example:" + std::to_string(server.port()) + ":127.0.0.1"};
    TCertificateInfo asked;
    c.OnUntrustedCertificate = [&](const TCertificateInfo& certificate, bool changed) {
        asked = certificate;
        EXPECT_FALSE(changed);
        return true;
    };
    c.Connect();
    EXPECT_EQ(asked.Problem, "証明書は ghost.example ではなく /CN=127.0.0.1 に発行されています");
    EXPECT_EQ(c.TrustedFingerprint, asked.Fingerprint);
    roundTrip(c, local, "n.bin");
}

TEST(FTPTls, UploadsOverTls13EndWithoutLosingTheirEnd) {
    // A data connection closed while the server's last TLS records are still on their way is reset, and
    // vsftpd then loses the end of the upload ("426 Failure reading network stream").
    VsftpdServer server(Certificates().serverCert, Certificates().serverKey);
    TempDir local;
    TFTPClient c;
    setUp(c, server.address());
    c.Username = "anonymous";
    c.Password = "guest";
    c.Options.TlsVersion = 13;
    c.Connect();
    c.ChangeDir("pub");
    std::string data(1000000, 'x');
    std::string file = local.write("big.bin", data);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(errorOf([&] { c.Put(file, "big" + std::to_string(i)); }), "(no error)") << i;
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(ReadAll(server.pub() + "big" + std::to_string(i)), data) << i;
}

TEST(FTPTls, NoByteOfADataConnectionGoesInClear) {
    TempDir local;
    for (bool explicitTls : {false, true})
        for (bool passive : {false, true}) {
            SCOPED_TRACE(std::string(explicitTls ? "explicit" : "implicit") +
                         (passive ? " passive" : " active"));
            FtpServer server =
                tlsServer(Certificates().serverPem, explicitTls ? Lines{"--explicit"} : Lines{});
            TFTPClient c;
            setUp(c, server.address());
            c.ExplicitTLS = explicitTls;
            c.Passive = passive;
            c.Connect();
            roundTrip(c, local, "a.bin");
            c.Quit();
            EXPECT_EQ(c.PassiveForcedByTls(), !passive);
            EXPECT_EQ(server.dataConnections(), (Lines{"tls", "tls"}));
            for (const std::string& command : server.commands())
                EXPECT_TRUE(command.rfind("PORT", 0) != 0 && command.rfind("EPRT", 0) != 0) << command;
        }
}

TEST(FTPTls, AServerThatRefusesProtectedDataGetsNoFileInClear) {
    TempDir local;
    local.write("a.txt", "secret ghost");
    for (bool explicitTls : {false, true}) {
        SCOPED_TRACE(explicitTls ? "explicit" : "implicit");
        FtpServer server = tlsServer(Certificates().serverPem,
                                     explicitTls ? Lines{"--explicit", "--no-prot"} : Lines{"--no-prot"});
        auto job = tlsJob(server.address(), local.path());
        job->OwnFTP->ExplicitTLS = explicitTls;
        auto [log, ok] = run(*job);
        EXPECT_FALSE(ok);
        const std::string& failure = log[log.size() - 2];
        EXPECT_EQ(failure.rfind("FTP接続が出来ませんでした。転送は行われません：", 0), 0u) << failure;
        EXPECT_NE(failure.find("PROT P"), std::string::npos) << failure;
        EXPECT_TRUE(server.received().empty());
        EXPECT_TRUE(server.dataConnections().empty());
    }
}
