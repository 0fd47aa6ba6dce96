#include "jobs/Settings.h"
#include "run/JobRunner.h"
#include "support/FtpServer.h"
#include "support/HttpServer.h"
#include "support/JobFixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "support/VectorSink.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

const char* const patterns = "readme.txt\r\nghost/master/*.*\r\n";
const std::string cause = "アップロード先ディレクトリとホームURLが同じ場所を指しているか、サイトの前にキャッ"
                          "シュがないか確認してください。";

void makeGhost(const TempDir& dir, const std::string& homeUrl) {
    dir.write("readme.txt", "read me\r\n");
    dir.write("ghost/master/descript.txt", "charset,Shift_JIS\r\nname,sakura\r\nhomeurl," + homeUrl + "\r\n");
    dir.write("ghost/master/a.dic", "dic one");
    dir.write("ghost/master/ソ表.dic", "a name whose CP932 bytes need escaping in a URL");
}

std::pair<Lines, bool> run(TSettings& job) {
    VectorSink sink;
    RunCounts counts = RunJobs(
        1, [&](int) { return &job; }, sink);
    return {sink.lines, counts.Succeeded == 1};
}

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The line before the job's closing line.
const std::string& outcome(const Lines& log) {
    return log[log.size() - 2];
}

} // namespace

TEST(HomeUrlProof, TheFtpFolderServedOverHttpProvesTheRelease) {
    FtpServer ftp;
    ftp.rootDir().mkdir("pub");
    HttpServer web(ftp.root() + "pub");
    TempDir local;
    makeGhost(local, web.url());
    auto job = NetworkJob(ftp, local.path(), patterns);
    auto [log, ok] = run(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    EXPECT_TRUE(contains(log, "ホームURL(" + web.url() + ")で公開内容を確認します。"));
    EXPECT_EQ(outcome(log), "ホームURL(" + web.url() + ")が今回のリリースを配信していることを確認しました。");

    // Nothing published, nothing to prove.
    auto [idle, idleOk] = run(*job);
    EXPECT_TRUE(idleOk);
    EXPECT_TRUE(contains(idle, "更新されたファイルはありません。"));
    EXPECT_FALSE(contains(idle, "ホームURL(" + web.url() + ")で公開内容を確認します。"));
}

namespace {

// A link made by the machine the test servers run on (the Linux one under wine as well), so that the web
// server's folder serves the upload folder's own files.
void linkTo(const std::string& target, const std::string& link) {
    int status = -1;
    const std::string out = RunShell("ln -s '" + target + "' '" + link + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
}

} // namespace

TEST(HomeUrlProof, AnotherFolderFailsTheJobNamingTheFirstDifferingFile) {
    TempDir elsewhere;
    {
        // A folder that never received anything: the list itself is missing there.
        FtpServer ftp;
        ftp.rootDir().mkdir("pub");
        HttpServer web(elsewhere.path());
        TempDir local;
        makeGhost(local, web.url());
        auto job = NetworkJob(ftp, local.path(), patterns);
        auto [log, ok] = run(*job);
        EXPECT_FALSE(ok);
        EXPECT_EQ(outcome(log), "ホームURLの確認に失敗しました：" + web.url("updates2.dau") +
                                    "を取得できません（HTTP 404）。" + cause);
        EXPECT_TRUE(fs::exists(ftp.root() + "pub/updates2.dau")); // the upload itself happened
    }
    {
        // A folder that serves this run's list and files but an old a.dic (a stale copy, say): the list
        // agrees, readme.txt agrees, and a.dic is named.
        FtpServer ftp;
        ftp.rootDir().mkdir("pub");
        TempDir mirror;
        const std::string pub = ftp.root() + "pub/";
        mirror.mkdir("ghost/master");
        for (const char* name :
             {"updates2.dau", "readme.txt", "ghost/master/descript.txt", "ghost/master/ソ表.dic"})
            linkTo(pub + name, mirror / name);
        mirror.write("ghost/master/a.dic", "dic zero");
        HttpServer web(mirror.path());
        TempDir local;
        makeGhost(local, web.url());
        auto job = NetworkJob(ftp, local.path(), patterns);
        auto [log, ok] = run(*job);
        EXPECT_FALSE(ok);
        EXPECT_EQ(outcome(log), "ホームURLの確認に失敗しました：" + web.url("ghost/master/a.dic") +
                                    "の内容が、今回アップロードしたghost/master/a.dicと違います。" + cause);

        // Mended, the same folder proves the next release, the escaped CP932 name included.
        fs::remove(mirror / "ghost/master/a.dic");
        linkTo(pub + "ghost/master/a.dic", mirror / "ghost/master/a.dic");
        local.write("ghost/master/ソ表.dic", "changed");
        auto [log2, ok2] = run(*job);
        EXPECT_TRUE(ok2) << ::testing::PrintToString(log2);
        EXPECT_EQ(outcome(log2),
                  "ホームURL(" + web.url() + ")が今回のリリースを配信していることを確認しました。");
    }
}

TEST(HomeUrlProof, AHomeUrlThatDoesNotAnswerFailsWithinTheTimeOuts) {
    FtpServer ftp;
    ftp.rootDir().mkdir("pub");
    HttpServer silent("");
    TempDir local;
    makeGhost(local, silent.url());
    auto job = NetworkJob(ftp, local.path(), patterns);
    job->ClientOptions.StallTimeoutMs = 2000;
    const auto start = std::chrono::steady_clock::now();
    auto [log, ok] = run(*job);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(ok);
    const std::string& line = outcome(log);
    EXPECT_EQ(
        line.rfind("ホームURLの確認に失敗しました：" + silent.url("updates2.dau") + "を取得できません（", 0),
        0u)
        << line;
    EXPECT_NE(line.find(cause), std::string::npos);
    EXPECT_LT(took, std::chrono::seconds(8));

    // Switched off, the same job succeeds without asking the home URL anything.
    job->HomeUrlCheck = false;
    local.write("readme.txt", "changed");
    auto [quiet, quietOk] = run(*job);
    EXPECT_TRUE(quietOk) << ::testing::PrintToString(quiet);
    EXPECT_EQ(outcome(quiet), "updates2.dauをアップロードします。");
    EXPECT_FALSE(contains(quiet, "ホームURL(" + silent.url() + ")で公開内容を確認します。"));

    // A home URL of another scheme is not fetched either.
    job->HomeUrlCheck = true;
    makeGhost(local, "ftp://127.0.0.1/ghost/");
    auto [other, otherOk] = run(*job);
    EXPECT_TRUE(otherOk) << ::testing::PrintToString(other);
}

TEST(HomeUrlProof, HttpsCertificatesAreVerifiedWhateverTheFtpConnectionTrusts) {
    FtpServer ftp;
    ftp.rootDir().mkdir("pub");
    TempDir local;
    {
        // Trusted through the CA that signed it: proved.
        HttpServer web(ftp.root() + "pub", Certificates().serverPem);
        makeGhost(local, web.url());
        auto job = NetworkJob(ftp, local.path(), patterns);
        job->ClientOptions.CAFile = Certificates().caFile;
        auto [log, ok] = run(*job);
        EXPECT_TRUE(ok) << ::testing::PrintToString(log);
        EXPECT_EQ(outcome(log),
                  "ホームURL(" + web.url() + ")が今回のリリースを配信していることを確認しました。");
    }
    // A certificate nobody vouches for fails, although the user trusted one for the FTP server.
    HttpServer web(ftp.root() + "pub", Certificates().selfSigned);
    makeGhost(local, web.url());
    auto job = NetworkJob(ftp, local.path(), patterns);
    job->ClientOptions.CAFile = Certificates().caFile;
    job->OwnFTP->CertFingerprint = "SHA256:" + std::string(64, '0');
    auto [log, ok] = run(*job);
    EXPECT_FALSE(ok);
    EXPECT_EQ(outcome(log).rfind(
                  "ホームURLの確認に失敗しました：" + web.url("updates2.dau") + "を取得できません（", 0),
              0u)
        << outcome(log);
}
