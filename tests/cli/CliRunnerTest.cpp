// quillon-cli itself, run as a child process against the test FTP server.
#include "CliProcess.h"
#include "platform/Cp932.h"
#include "platform/Paths.h"
#include "support/FtpServer.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;

struct Job {
    std::string name;
    std::string directory = "pub";
    bool ticked = true;
    bool storedPassword = true;
    bool ssl = false;
};

// A ghost to publish: its home URL well formed, so that the release check finds nothing.
void makeGhost(const TempDir& ghost) {
    ghost.write("readme.txt", "read me\r\n");
    ghost.write("ghost/master/descript.txt", "charset,Shift_JIS\r\nhomeurl,http://example.invalid/\r\n");
    ghost.write("ghost/master/a.dic", "dic one");
}

// Every file under `folder` (names relative to it) with its bytes; folders as "<folder>".
Files tree(const std::string& folder, bool recurse = true) {
    Files files;
    auto add = [&](const fs::directory_entry& e) {
        files[fs::relative(e.path(), folder).string()] =
            e.is_regular_file() ? ReadAll(e.path().string()) : std::string("<folder>");
    };
    if (recurse)
        for (const auto& e : fs::recursive_directory_iterator(folder))
            add(e);
    else
        for (const auto& e : fs::directory_iterator(folder))
            add(e);
    return files;
}

struct Result {
    int code;
    std::string out, err;
};

// The folder of a settings file, with what the window would import or clean up beside it: the runner
// must leave all of it as it is.
class CliFolders {
public:
    explicit CliFolders(const FtpServer& server) : server_(server) {
        makeGhost(ghost);
        folder.write("other.ini", "[General]\r\nName=imported\r\nDefaultCheck=1\r\n");
        folder.write("left.in_", "[General]\r\nName=left\r\n");
        folder.write("quillon.ini.tmp4242", "[FTP]\r\nPassword=pw\r\n");
    }

    std::string settings() const { return folder / "quillon.ini"; }

    void write(const std::vector<Job>& jobs, bool isLog = false) const {
        std::string text =
            "[FTP]\r\nServer=\r\nID=\r\nPassword=\r\nPassive=0\r\nSSL=0\r\n[General]\r\nIsLog=" +
            std::string(isLog ? "1" : "0") + "\r\nNoLog=0\r\nSettingsCount=" + std::to_string(jobs.size()) +
            "\r\n";
        for (size_t i = 0; i < jobs.size(); ++i) {
            const Job& j = jobs[i];
            text += "[" + std::to_string(i) + "]\r\nName=" + j.name +
                    "\r\nSetting=Network\r\nServer=" + server_.address() +
                    "\r\nID=user\r\nPassword=" + (j.storedPassword ? "secret" : "") +
                    "\r\nPassive=1\r\nSSL=" + (j.ssl ? "1" : "0") + "\r\nDirectory=" + j.directory +
                    "\r\nTargetFolder=" + ghost.path() + "\r\nProcessName=readme.txt,ghost/master/*.*\r\n" +
                    "DefaultCheck=" + (j.ticked ? "1" : "0") + "\r\nHomeUrlCheck=0\r\n";
        }
        folder.write("quillon.ini", Utf8ToCp932(text)); // as the window writes it
    }

    Result run(std::vector<std::string> args, const std::optional<std::string>& password = std::nullopt,
               bool withSettings = true) const {
        if (withSettings)
            args.insert(args.begin(), {"--settings", settings()});
        CliProcess cli(args, output / "out", output / "err", password);
        int code = cli.wait();
        return {code, ReadAll(output / "out"), ReadAll(output / "err")};
    }

    /// The settings folder without the log folder a run with IsLog makes.
    Files settingsFolder() const {
        Files files = tree(folder.path(), false);
        files.erase("log");
        return files;
    }

    TempDir folder, ghost, output;

private:
    const FtpServer& server_;
};

FtpServer::Config withPub(std::vector<std::string> switches = {}) {
    FtpServer::Config config;
    config.folders = {"pub"};
    config.switches = std::move(switches);
    return config;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

TEST(Cli, RunsTheNamedJobOrElseTheTickedOnesAndWritesTheWindowsLog) {
    FtpServer server;
    CliFolders setup(server);
    setup.write({{"公開 一", "one"}, {"two", "two", false}, {"three", "three"}}, true);
    const Files before = setup.settingsFolder();

    Result named = setup.run({"two"});
    EXPECT_EQ(named.code, 0) << named.out << named.err;
    EXPECT_EQ(named.err, ""); // no progress line when standard error is no terminal
    EXPECT_EQ(named.out.rfind("two実行します。\n", 0), 0u) << named.out;
    EXPECT_FALSE(has(named.out, "公開 一実行します。"));
    EXPECT_TRUE(has(named.out, "\ntwo実行しました。\n\n1項目実行 - 成功1 / 失敗0\n")) << named.out;
    EXPECT_TRUE(fs::exists(server.root() + "two/updates2.dau"));
    EXPECT_FALSE(fs::exists(server.root() + "one"));
    EXPECT_FALSE(fs::exists(server.root() + "three"));

    // The log file the window writes, in the log folder beside the settings file: the same text, in
    // CP932 with CR LF.
    const Files logs = tree(setup.folder / "log");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(std::regex_match(logs.begin()->first, std::regex(R"(log\d{14}\.log)")))
        << logs.begin()->first;
    EXPECT_EQ(logs.begin()->second, Utf8ToCp932(std::regex_replace(named.out, std::regex("\n"), "\r\n")));

    fs::remove_all(setup.folder / "log");
    Result ticked = setup.run({});
    EXPECT_EQ(ticked.code, 0) << ticked.out << ticked.err;
    EXPECT_EQ(ticked.err, "");
    const size_t first = ticked.out.find("公開 一実行します。"), third = ticked.out.find("three実行します。");
    EXPECT_NE(first, std::string::npos) << ticked.out;
    EXPECT_NE(third, std::string::npos) << ticked.out;
    EXPECT_LT(first, third); // in list order
    EXPECT_FALSE(has(ticked.out, "two実行します。"));
    EXPECT_TRUE(has(ticked.out, "2項目実行 - 成功2 / 失敗0\n"));
    EXPECT_TRUE(fs::exists(server.root() + "one/updates2.dau"));
    EXPECT_TRUE(fs::exists(server.root() + "three/updates2.dau"));
    EXPECT_EQ(tree(setup.folder / "log").begin()->second,
              Utf8ToCp932(std::regex_replace(ticked.out, std::regex("\n"), "\r\n")));

    // Neither run imported, moved, removed or rewrote a file beside the settings.
    EXPECT_EQ(setup.settingsFolder(), before);
}

TEST(Cli, DryRunChangesNothingOnTheServerOrTheDisk) {
    FtpServer server(withPub());
    CliFolders setup(server);
    setup.write({{"net"}});
    ASSERT_EQ(setup.run({}).code, 0);
    setup.ghost.write("ghost/master/a.dic", "dic two");
    setup.ghost.write("ghost/master/b.dic", "new");
    const Files serverBefore = tree(server.root()), ghostBefore = tree(setup.ghost.path());
    server.clearLog();

    Result preview = setup.run({"--dry-run"});
    EXPECT_EQ(preview.code, 0) << preview.out << preview.err;
    EXPECT_EQ(preview.err, "");
    EXPECT_TRUE(
        has(preview.out,
            "プレビュー: 1項目 - 成功1 / 失敗0（サーバーとローカルのファイルは何も変更していません）\n"))
        << preview.out;
    EXPECT_TRUE(has(preview.out, "ghost/master/b.dic")) << preview.out;
    EXPECT_EQ(tree(server.root()), serverBefore);
    EXPECT_EQ(tree(setup.ghost.path()), ghostBefore);
    for (const std::string& c : server.commands())
        for (const char* verb : {"STOR", "MKD", "DELE", "RNFR", "RNTO"})
            EXPECT_NE(c.rfind(std::string(verb) + " ", 0), 0u) << c;
}

TEST(Cli, FindingsStopTheJobUnlessYesIsGiven) {
    FtpServer server(withPub());
    CliFolders setup(server);
    setup.write({{"net"}});
    setup.ghost.write("ghost/master/Thumbs.db", "thumbs");
    const Files before = setup.settingsFolder();

    Result refused = setup.run({});
    EXPECT_EQ(refused.code, 1) << refused.out;
    EXPECT_EQ(refused.err,
              "quillon-cli: ジョブ net: 公開前の確認で見つかった点（ログを参照）があるため、続行しません"
              "でした。確認したうえで続行するには --yes を付けてください。\n");
    EXPECT_TRUE(has(refused.out, "公開前の確認で、利用者側で問題となる可能性のある点が見つかりました。"));
    EXPECT_TRUE(has(refused.out, "1項目実行 - 成功0 / 失敗1\n"));
    EXPECT_TRUE(server.received().empty());

    Result accepted = setup.run({"--yes"});
    EXPECT_EQ(accepted.code, 0) << accepted.out << accepted.err;
    EXPECT_EQ(accepted.err, "");
    EXPECT_TRUE(fs::exists(server.root() + "pub/updates2.dau"));
    EXPECT_EQ(setup.settingsFolder(), before);
}

TEST(Cli, AMissingPasswordComesOnlyFromTheEnvironment) {
    FtpServer server(withPub());
    CliFolders setup(server);
    Job job{"net"};
    job.storedPassword = false;
    setup.write({job});

    Result refused = setup.run({});
    EXPECT_EQ(refused.code, 1) << refused.out;
    EXPECT_EQ(refused.err,
              "quillon-cli: ジョブ net: サーバー " + server.address() +
                  " のパスワードが設定ファイルにありません。環境変数 QUILLON_PASSWORD で渡してください。\n");
    EXPECT_TRUE(has(refused.out, "FTP接続が出来ませんでした。転送は行われません：サーバー " +
                                     server.address() +
                                     " のパスワードが設定ファイルにありません。環境変数 QUILLON_PASSWORD "
                                     "で渡してください。\n"));
    EXPECT_TRUE(has(refused.out, "1項目実行 - 成功0 / 失敗1\n"));
    // No login is tried with an empty password.
    for (const std::string& c : server.commands())
        EXPECT_NE(c.rfind("USER", 0), 0u) << c;

    Result given = setup.run({}, std::string("secret"));
    EXPECT_EQ(given.code, 0) << given.out << given.err;
    EXPECT_EQ(given.err, "");
    EXPECT_TRUE(fs::exists(server.root() + "pub/updates2.dau"));
}

TEST(Cli, AnUntrustedCertificateIsTrustedOnlyByTrustAndNeverStored) {
    FtpServer::Config config = withPub();
    config.tlsPem = Certificates().selfSigned;
    FtpServer server(config);
    CliFolders setup(server);
    Job job{"net"};
    job.ssl = true;
    setup.write({job});
    const Files before = setup.settingsFolder();

    Result refused = setup.run({});
    EXPECT_EQ(refused.code, 1) << refused.out;
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(refused.err, m,
                         std::regex("quillon-cli: ジョブ net: サーバー " + server.address() +
                                    " の証明書はシステムに信頼されていません。この証明書を信頼するには "
                                    "--trust (SHA256:[0-9A-F]{64}) を付けてください。\n")))
        << refused.err;
    const std::string fingerprint = m[1];
    EXPECT_TRUE(server.received().empty());

    Result wrong = setup.run({"--trust", "SHA256:" + std::string(64, '0')});
    EXPECT_EQ(wrong.code, 1);
    EXPECT_TRUE(has(wrong.err, "（--trust で指定した証明書とは違います）。この証明書を信頼するには --trust " +
                                   fingerprint + " を付けてください。\n"))
        << wrong.err;
    EXPECT_TRUE(server.received().empty());

    // As copied from elsewhere: lower case, with colons.
    std::string copied;
    for (size_t i = 7; i < fingerprint.size(); i += 2)
        copied += (i > 7 ? ":" : "") + fingerprint.substr(i, 2);
    std::transform(copied.begin(), copied.end(), copied.begin(), [](char c) { return std::tolower(c); });
    Result trusted = setup.run({"--trust", copied});
    EXPECT_EQ(trusted.code, 0) << trusted.out << trusted.err;
    EXPECT_EQ(trusted.err, "");
    EXPECT_TRUE(fs::exists(server.root() + "pub/updates2.dau"));
    // The fingerprint trusted for this run is not written anywhere.
    EXPECT_EQ(setup.settingsFolder(), before);
}

TEST(Cli, UsageAndSettingsErrorsExitWithTwoAndOneLine) {
    FtpServer server;
    CliFolders setup(server);
    setup.write({{"net", "pub", false}, {"dup"}, {"dup"}}, true);
    setup.folder.mkdir("folder.ini");
    TempDir untickedFolder;
    const std::string unticked = untickedFolder.write(
        "quillon.ini", "[General]\r\nSettingsCount=1\r\n[0]\r\nName=net\r\nDefaultCheck=0\r\n");
    const std::string exeFolder = ExtractFilePath(ExpandFileName(QUILLON_CLI)); // as the system names it
    ASSERT_FALSE(fs::exists(exeFolder + "quillon.ini"));
    const Files before = setup.settingsFolder();

    struct Case {
        std::vector<std::string> args;
        std::string err; ///< the line, or a part of it
        bool withSettings = true;
    };
    // Files are named as the system names them (on Windows with '\\' throughout).
    const std::vector<Case> cases = {
        {{"--bogus"},
         "quillon-cli: 不明なオプション --bogus です。使い方: quillon-cli [--settings FILE] [--dry-run] "
         "[--yes] [--trust FINGERPRINT] [JOB...]\n"},
        {{"nope"},
         "quillon-cli: ジョブ nope は設定ファイル " + ExpandFileName(setup.settings()) + " にありません。\n"},
        {{"dup"},
         "quillon-cli: ジョブ名 dup のジョブが設定ファイル " + ExpandFileName(setup.settings()) +
             " に2つあります。どれを実行するか決められません。\n"},
        {{"--trust"}, "quillon-cli: --trust には証明書のフィンガープリントを続けてください。\n"},
        {{"--password", "secret"},
         "quillon-cli: パスワードはコマンドラインでは渡せません。環境変数 QUILLON_PASSWORD "
         "で渡してください。\n"},
        {{"--settings", setup.folder / "missing.ini"},
         "quillon-cli: 設定ファイル " + ExpandFileName(setup.folder / "missing.ini") + " がありません。\n",
         false},
        {{"--settings", setup.folder / "folder.ini"},
         "quillon-cli: 設定ファイル " + ExpandFileName(setup.folder / "folder.ini") +
             " を読み込めません（ファイルではなくフォルダーです）。\n",
         false},
        {{"--settings", unticked},
         "quillon-cli: 実行するジョブがありません（設定ファイル " + ExpandFileName(unticked) +
             " にチェックの付いたジョブがなく、ジョブ名も指定されていません）。\n",
         false},
        // Without --settings: quillon.ini beside the executable, as the window's.
        {{}, "quillon-cli: 設定ファイル " + exeFolder + "quillon.ini がありません。\n", false},
    };
    for (const Case& c : cases) {
        Result r = setup.run(c.args, std::nullopt, c.withSettings);
        EXPECT_EQ(r.code, 2) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_EQ(r.out, "") << c.err;
    }
    // Nothing ran: no log file (the settings ask for one), nothing on the server.
    EXPECT_FALSE(fs::exists(setup.folder / "log"));
    EXPECT_TRUE(server.commands().empty());
    EXPECT_EQ(setup.settingsFolder(), before);
}

TEST(Cli, InterruptDuringAnUploadCancelsAndLeavesTheOldList) {
    // The server takes 100 kB of a file, then stops reading: the upload is in progress until cancelled.
    FtpServer server(withPub({"--stall-after", "100000"}));
    server.rootDir().write("pub/updates2.dau", "the list of the release before\r\n");
    CliFolders setup(server);
    setup.ghost.write("ghost/master/big.dat", std::string(3'000'000, 'x'));
    setup.write({{"net"}, {"after"}});
    const Files before = setup.settingsFolder();

    CliProcess cli({"--settings", setup.settings()}, setup.output / "out", setup.output / "err");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto uploading = [&] {
        for (const std::string& c : server.commands())
            if (c.rfind("STOR ", 0) == 0 && has(c, "big.dat"))
                return true;
        return false;
    };
    while (!uploading() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(uploading()) << ReadAll(setup.output / "out");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto interrupted = std::chrono::steady_clock::now();
    cli.signal(SIGINT);
    EXPECT_EQ(cli.wait(std::chrono::seconds(20)), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(5));

    const std::string out = ReadAll(setup.output / "out");
    EXPECT_TRUE(has(out, "ユーザーが中止しました。")) << out;
    EXPECT_FALSE(has(out, "after実行します。")); // no later job runs
    EXPECT_TRUE(has(out, "1項目実行 - 成功0 / 失敗1\n")) << out;
    EXPECT_EQ(ReadAll(setup.output / "err"), "quillon-cli: 中止しました。\n");
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), "the list of the release before\r\n");
    EXPECT_EQ(setup.settingsFolder(), before);
}
