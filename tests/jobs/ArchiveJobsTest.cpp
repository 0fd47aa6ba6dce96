#include "archive/ArchiverRegistry.h"
#include "archive/Zip32.h"
#include "jobs/Settings.h"
#include "platform/Clock.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/RunControl.h"
#include "run/JobRunner.h"
#include "support/ArchiveReaders.h"
#include "support/FixedClock.h"
#include "support/FtpServer.h"
#include "support/RecordedProgress.h"
#include "support/ReferenceMd5.h"
#include "support/ScriptedPrompts.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/UserDateFormats.h"
#include "support/VectorSink.h"
#include "support/VsftpdServer.h"
#include "support/ZipContents.h"
#include "support/ZipHeaders.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
// A distributed file: its name in the archive and in updates2.dau (CP932), and its path in the ghost.
using Files = std::vector<std::pair<std::string, std::string>>;

const char* const patterns = "readme.txt\r\nghost/master/*.*\r\nshell/master/*.png\r\n";
const std::string kanaName = "ghost/master/ソ表能.txt";
const std::string kanaCp932 = "ghost/master/\x83\x5C\x95\x5C\x94\x5C.txt";
const std::string fileListEntry = "readme.txt\r\nghost\\master\\a.dic\r\nghost\\master\\ソ表能.txt\r\n"
                                  "shell\\master\\s0.png\r\n";

void makeGhost(const TempDir& dir) {
    dir.write("readme.txt", "read me\r\n");
    dir.write("ghost/master/a.dic", "dic one");
    dir.write(kanaName, "kana");
    dir.write("shell/master/s0.png", RandomBytes(70000));
    dir.write("shell/master/notes.txt", "not selected");
}

Files selectedFiles() {
    return {{"readme.txt", "readme.txt"},
            {"ghost/master/a.dic", "ghost/master/a.dic"},
            {kanaCp932, kanaName},
            {"shell/master/s0.png", "shell/master/s0.png"}};
}

// The list that must be written, built independently: CP932 names, OpenSSL digests.
std::string expectedList(const TempDir& dir, const Files& files) {
    std::string text;
    for (const auto& [cp932, onDisk] : files)
        text += cp932 + "\x01" + ReferenceMd5(ReadAll(dir / onDisk)) + "\x01\r\n";
    return text;
}

// The archive holds exactly these files, under their CP932 names without the UTF-8 flag, with the bytes
// that `ghost` holds now; unzip finds nothing wrong with it.
void expectArchiveOf(const std::string& archive, const TempDir& ghost, const Files& files) {
    std::set<std::pair<std::string, std::string>> expected, found;
    for (const auto& [cp932, onDisk] : files)
        expected.insert({cp932, ReadAll(ghost / onDisk)});
    for (const auto& member : ReadZipContents(archive))
        found.insert(member);
    EXPECT_EQ(found, expected) << archive;
    for (const ZipMember& m : ReadZipHeaders(archive)) {
        EXPECT_FALSE(m.utf8Flag()) << m.name;
        EXPECT_TRUE(m.crcOk) << m.name;
    }
    int status = -1;
    RunShell("unzip -tq '" + archive + "' >/dev/null 2>&1", &status);
    EXPECT_EQ(status, 0) << "unzip -t " << archive;
}

Lines stored(const FtpServer& server) {
    Lines s;
    for (const std::string& c : server.commands())
        if (c.rfind("STOR ", 0) == 0)
            s.push_back(c.substr(5));
    return s;
}

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A literal's bytes, NULs included.
template <size_t N> std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The names in a folder.
std::set<std::string> entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// An archive job over `folder` whose server (for the upload kind) is `server`'s directory "pub".
std::unique_ptr<TSettings> archiveJob(const std::string& folder, uint8_t kind, const std::string& server = "",
                                      const std::string& patternText = patterns) {
    auto job = std::make_unique<TSettings>();
    job->Name = "nar";
    job->Kind = kind;
    job->OwnFTP = std::make_unique<TFTPConfig>();
    job->OwnFTP->Server = server;
    job->OwnFTP->ID = "user";
    job->OwnFTP->SetPassword("secret");
    job->OwnFTP->Passive = true;
    job->Directory = "pub";
    job->TargetFolder = folder;
    job->ProcessName = patternText;
    job->NarName = folder + "ghost-%year-%month-%day.nar";
    job->ClientOptions.ConnectTimeoutMs = 10000;
    job->ClientOptions.StallTimeoutMs = 10000;
    return job;
}

std::pair<Lines, bool> runThroughLoop(TSettings& job) {
    VectorSink sink;
    RunCounts counts = RunJobs(
        1, [&](int) { return &job; }, sink);
    return {sink.lines, counts.Succeeded == 1};
}

} // namespace

TEST(ArchiveJobs, ArchiveOnlyLeavesADatedArchiveOfTheSelectedFiles) {
    FixedClock clock;
    TempDir ghost;
    makeGhost(ghost);
    ghost.mkdir("dist/2007");
    auto job = archiveJob(ghost.path(), TSettings::NarCreate);
    // Every placeholder, each more than once, case-sensitive.
    job->NarName = ghost / "dist/%year/ghost-%year-%month-%day_%shortyear.%hour%minute%second.%Year.nar";
    const std::string nar = ghost / "dist/2007/ghost-2007-03-05_07.140709.%Year.nar";

    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    EXPECT_EQ(log, (Lines{"nar実行します。", "NARを生成します。", "ファイルリストを生成します。",
                          fileListEntry, "ファイルリストを生成しました。", "圧縮処理を開始します。",
                          "圧縮処理を終了しました。", nar + "を生成しました。", "nar実行しました。\r\n"}));
    expectArchiveOf(nar, ghost, selectedFiles());
    EXPECT_FALSE(fs::exists(ghost / "temp.zip"));
    // Both update lists stay in the base folder, describing the distributed files.
    EXPECT_EQ(ReadAll(ghost / "updates2.dau"), expectedList(ghost, selectedFiles()));
    EXPECT_EQ(ReadAll(ghost / "ghost/master/updates2.dau"), expectedList(ghost, selectedFiles()));

    // The next run selects ghost/master/updates2.dau too, and packs it with its new contents.
    ghost.write("ghost/master/a.dic", "dic two");
    std::string before = ReadAll(ghost / "ghost/master/updates2.dau");
    auto [log2, ok2] = runThroughLoop(*job);
    ASSERT_TRUE(ok2) << ::testing::PrintToString(log2);
    Files second = selectedFiles();
    second.insert(second.begin() + 2, {"ghost/master/updates2.dau", "ghost/master/updates2.dau"});
    expectArchiveOf(nar, ghost, second);
    EXPECT_NE(ReadAll(ghost / "ghost/master/updates2.dau"), before);
    EXPECT_EQ(ReadAll(ghost / "ghost/master/updates2.dau"), ReadAll(ghost / "updates2.dau"));
}

TEST(ArchiveJobs, ANameWithoutPlaceholdersReplacesTheArchiveThere) {
    TempDir ghost;
    makeGhost(ghost);
    std::string nar = ghost.write("out/pack.nar", "an archive of an earlier day");
    auto job = archiveJob(ghost.path(), TSettings::NarCreate);
    job->NarName = nar;
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    EXPECT_TRUE(contains(log, nar + "を生成しました。"));
    expectArchiveOf(nar, ghost, selectedFiles());
}

TEST(ArchiveJobs, TheKindDecidesWhetherTheServerIsContacted) {
    FixedClock clock;
    FtpServer server;
    server.rootDir().mkdir("pub");
    for (uint8_t kind : {uint8_t{2}, uint8_t{4}, uint8_t{3}, uint8_t{0}, uint8_t{200}}) {
        TempDir ghost;
        makeGhost(ghost);
        server.clearLog();
        auto job = archiveJob(ghost.path(), kind, server.address());
        const std::string nar = ghost / "ghost-2007-03-05.nar";
        auto [log, ok] = runThroughLoop(*job);
        ASSERT_TRUE(ok) << int(kind) << ::testing::PrintToString(log);
        if (kind == TSettings::Upload) {
            // No page named: the archive alone goes up, and leaves the local file system.
            EXPECT_EQ(stored(server), Lines{"ghost-2007-03-05.nar.uploading"}); // then renamed
            EXPECT_FALSE(fs::exists(nar));
            expectArchiveOf(server.root() + "pub/ghost-2007-03-05.nar", ghost, selectedFiles());
            EXPECT_TRUE(contains(log, server.address() + "へ接続します。"));
        } else {
            EXPECT_TRUE(server.commands().empty()) << int(kind);
            expectArchiveOf(nar, ghost, selectedFiles());
            EXPECT_EQ(log[log.size() - 2], nar + "を生成しました。") << int(kind);
        }
        EXPECT_EQ(ReadAll(ghost / "updates2.dau"), expectedList(ghost, selectedFiles())) << int(kind);
        EXPECT_EQ(ReadAll(ghost / "ghost/master/updates2.dau"), expectedList(ghost, selectedFiles()));
    }
}

TEST(ArchiveJobs, UploadEndToEndWithTheFilledPage) {
    FixedClock clock;
    CLocaleDateFormats formats; // short date 03/05/07, long time 14:07:09
    FtpServer::Config config;
    config.asciiAsReceived = true; // the page's bytes as they came over the wire
    FtpServer server(config);      // without "pub": the job makes it
    TempDir ghost;
    makeGhost(ghost);
    // The template lies in the base folder, where the filled page is made: it must survive.
    const std::string templateBytes =
        Utf8ToCp932("<html>\r\n<p>更新日 %uploaddate %uploadtime</p>\n<p>%uploadsize</p>\r"
                    "<p>%uploaddate%uploaddate, %UploadDate stays</p>");
    const std::string page = ghost.write("index.html", templateBytes);
    auto job = archiveJob(ghost.path(), TSettings::Upload, server.address());
    job->HTML = page;
    const std::string nar = ghost / "ghost-2007-03-05.nar";

    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    ASSERT_GE(log.size(), 7u);
    EXPECT_EQ(Lines(log.end() - 8, log.end()),
              (Lines{nar + "を生成しました。", server.address() + "へ接続します。",
                     "ターゲットディレクトリが見つかりません。作成します。", nar + "をアップロードします。",
                     nar + "をアップロードしました。", page + "をアップロードします。",
                     page + "をアップロードしました。", "nar実行しました。\r\n"}));

    const std::string remoteNar = server.root() + "pub/ghost-2007-03-05.nar";
    expectArchiveOf(remoteNar, ghost, selectedFiles());
    const std::string size = std::to_string(fs::file_size(remoteNar) / 1024) + " KB";
    EXPECT_EQ(ReadAll(server.root() + "pub/index.html"),
              Utf8ToCp932("<html>\r\n<p>更新日 03/05/07 14:07:09</p>\r\n<p>" + size +
                          "</p>\r\n<p>03/05/0703/05/07, %UploadDate stays</p>\r\n"));
    // The archive in binary under a temporary name, then renamed; the page in ASCII type. The upload
    // directory is entered after it was made.
    Lines commands = server.essentialCommands();
    auto at = [&](const std::string& c) { return std::find(commands.begin(), commands.end(), c); };
    ASSERT_NE(at("STOR index.html"), commands.end()) << ::testing::PrintToString(commands);
    const Lines entering = {"CWD pub", "MKD pub", "CWD pub"};
    auto entered = std::search(commands.begin(), commands.end(), entering.begin(), entering.end());
    ASSERT_NE(entered, commands.end()) << ::testing::PrintToString(commands);
    EXPECT_LT(entered, at("STOR ghost-2007-03-05.nar.uploading"));
    EXPECT_LT(at("TYPE I"), at("STOR ghost-2007-03-05.nar.uploading"));
    EXPECT_LT(at("STOR ghost-2007-03-05.nar.uploading"), at("RNTO ghost-2007-03-05.nar"));
    EXPECT_LT(at("RNTO ghost-2007-03-05.nar"), at("TYPE A"));
    EXPECT_LT(at("TYPE A"), at("STOR index.html"));
    EXPECT_FALSE(fs::exists(server.root() + "pub/ghost-2007-03-05.nar.uploading"));

    // Locally: the archive is gone, the template untouched, no filled page left behind.
    EXPECT_FALSE(fs::exists(nar));
    EXPECT_EQ(ReadAll(page), templateBytes);
    EXPECT_EQ(entries(ghost.path()),
              (std::set<std::string>{"ghost", "index.html", "readme.txt", "shell", "updates2.dau"}));
    EXPECT_EQ(ReadAll(ghost / "updates2.dau"), expectedList(ghost, selectedFiles()));
}

TEST(ArchiveJobs, APageWithoutPlaceholdersIsStillRewrittenWithCrLf) {
    TempDir ghost, pages;
    ghost.write("readme.txt", "r");
    // Elsewhere than the base folder, where a file of the page's name must not be touched either.
    const std::string page = pages.write("page.htm", bytes("one\ntwo\rthree\r\n\r\nNUL\0kept"));
    const std::string sameName = ghost.write("page.htm", "a ghost file of the page's name");
    for (bool asReceived : {true, false}) {
        FtpServer::Config config;
        config.asciiAsReceived = asReceived;
        FtpServer server(config);
        server.rootDir().mkdir("pub");
        auto job = archiveJob(ghost.path(), TSettings::Upload, server.address(), "readme.txt");
        job->HTML = page;
        auto [log, ok] = runThroughLoop(*job);
        ASSERT_TRUE(ok) << ::testing::PrintToString(log);
        EXPECT_TRUE(contains(log, ghost / "page.htm" + "をアップロードしました。"));
        // Sent with CR LF; a server that turns ASCII line ends into its own stores LF, which a binary
        // transfer would not have done.
        EXPECT_EQ(ReadAll(server.root() + "pub/page.htm"),
                  asReceived ? bytes("one\r\ntwo\r\nthree\r\n\r\nNUL\0kept\r\n")
                             : bytes("one\ntwo\nthree\n\nNUL\0kept\n"));
        EXPECT_EQ(ReadAll(sameName), "a ghost file of the page's name");
        EXPECT_EQ(entries(ghost.path()), (std::set<std::string>{"page.htm", "readme.txt", "updates2.dau"}));
    }
}

TEST(ArchiveJobs, TheSizeIsShownInWholeKilobytesRoundedDown) {
    TempDir ghost, pages;
    FixedClock clock;
    const std::string page = pages.write("size.html", "%uploadsize");
    // The size of an archive of one incompressible member (stored) is its data plus fixed headers.
    ghost.write("a", RandomBytes(500));
    auto probe = archiveJob(ghost.path(), TSettings::NarCreate, "", "a");
    ASSERT_TRUE(runThroughLoop(*probe).second);
    const int64_t overhead = TSettings::GetLocalFileSize(ghost / "ghost-2007-03-05.nar") - 500;
    ASSERT_GT(overhead, 0);
    FtpServer server;
    server.rootDir().mkdir("pub");
    for (auto [archiveSize, shown] : {std::pair<int64_t, std::string>{1023, "0 KB"}, {2048, "2 KB"}}) {
        ghost.write("a", RandomBytes(static_cast<size_t>(archiveSize - overhead), 3));
        auto job = archiveJob(ghost.path(), TSettings::Upload, server.address(), "a");
        job->HTML = page;
        auto [log, ok] = runThroughLoop(*job);
        ASSERT_TRUE(ok) << ::testing::PrintToString(log);
        ASSERT_EQ(fs::file_size(server.root() + "pub/ghost-2007-03-05.nar"), uint64_t(archiveSize));
        EXPECT_EQ(ReadAll(server.root() + "pub/size.html"), shown + "\n"); // LF: the server's line end
    }
    EXPECT_EQ(TSettings::GetLocalFileSize(ghost / "a"), int64_t(2048 - overhead));
    EXPECT_EQ(TSettings::GetLocalFileSize(ghost / "missing"), 0);
    EXPECT_EQ(TSettings::GetLocalFileSize(ghost.mkdir("folder")), 0);
}

TEST(ArchiveJobs, AnUploadCutMidArchiveLeavesTheOldArchiveLive) {
    FixedClock clock;
    FtpServer::Config config;
    config.switches = {"--drop-during-stor", "ghost-2007-03-05.nar.uploading"};
    FtpServer server(config);
    const std::string old = "the archive users download now";
    server.rootDir().write("pub/ghost-2007-03-05.nar", old);
    TempDir ghost;
    makeGhost(ghost);
    auto job = archiveJob(ghost.path(), TSettings::Upload, server.address());
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ReadAll(server.root() + "pub/ghost-2007-03-05.nar"), old);
    expectArchiveOf(ghost / "ghost-2007-03-05.nar", ghost, selectedFiles()); // kept for the next try
}

TEST(ArchiveJobs, UploadFailuresKeepWhatWasNotSent) {
    FixedClock clock;
    TempDir pages;
    const std::string page = pages.write("index.html", "%uploadsize");
    {
        // The archive cannot be stored: it stays, and the page is not sent.
        FtpServer::Config config;
        config.readOnly = {"pub"};
        FtpServer server(config);
        TempDir ghost;
        makeGhost(ghost);
        auto job = archiveJob(ghost.path(), TSettings::Upload, server.address());
        job->HTML = page;
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(startsWith(log[log.size() - 2], "FTP接続が出来ませんでした。転送は行われません：550"))
            << log[log.size() - 2];
        expectArchiveOf(ghost / "ghost-2007-03-05.nar", ghost, selectedFiles());
        EXPECT_FALSE(contains(log, ghost / "index.html" + "をアップロードします。"));
        // The temporary name refused, the plain one is tried too.
        EXPECT_EQ(stored(server), (Lines{"ghost-2007-03-05.nar.uploading", "ghost-2007-03-05.nar"}));
        EXPECT_EQ(server.essentialCommands().back(), "QUIT");
    }
    {
        // An upload directory whose parent is missing cannot be made.
        FtpServer server;
        TempDir ghost;
        makeGhost(ghost);
        auto job = archiveJob(ghost.path(), TSettings::Upload, server.address());
        job->Directory = "missing/pub";
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_EQ(log[log.size() - 3], "ターゲットディレクトリが見つかりません。作成します。");
        EXPECT_TRUE(startsWith(log[log.size() - 2], "FTP接続が出来ませんでした。転送は行われません：550"));
        EXPECT_TRUE(stored(server).empty());
        EXPECT_TRUE(fs::exists(ghost / "ghost-2007-03-05.nar"));
    }
    {
        // The page cannot be read: the archive is already up, the job still fails.
        FtpServer server;
        server.rootDir().mkdir("pub");
        TempDir ghost;
        makeGhost(ghost);
        auto job = archiveJob(ghost.path(), TSettings::Upload, server.address());
        job->HTML = pages / "gone.html";
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_EQ(log[log.size() - 2], "FTP接続が出来ませんでした。転送は行われません：" +
                                           pages / "gone.html" +
                                           " を開けません（ファイルが見つかりません）。");
        EXPECT_EQ(stored(server), Lines{"ghost-2007-03-05.nar.uploading"});
        EXPECT_TRUE(fs::exists(server.root() + "pub/ghost-2007-03-05.nar"));
        EXPECT_FALSE(fs::exists(ghost / "ghost-2007-03-05.nar"));
        EXPECT_EQ(entries(ghost.path()),
                  (std::set<std::string>{"ghost", "readme.txt", "shell", "updates2.dau"}));
    }
}

TEST(ArchiveJobs, AnsweringNoToTheDeleteListQuestionMakesNoArchiveAndNoConnection) {
    FtpServer server;
    for (uint8_t kind : {TSettings::Upload, TSettings::NarCreate}) {
        TempDir ghost;
        makeGhost(ghost);
        ghost.write("delete.txt", "readme.txt\r\n");
        auto job = archiveJob(ghost.path(), kind, server.address(), std::string("delete.txt\r\n") + patterns);
        job->OwnFTP->SetPassword("");
        ScriptedPrompts prompts;
        prompts.answers.push_back(false);
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_EQ(prompts.questions.size(), 1u);
        EXPECT_TRUE(prompts.inputs.empty()); // the password is asked only once the archive stands
        EXPECT_TRUE(server.commands().empty());
        EXPECT_EQ(entries(ghost.path()),
                  (std::set<std::string>{"delete.txt", "ghost", "readme.txt", "shell"}));
        EXPECT_EQ(log[log.size() - 2], "delete.txt1行目、readme.txtは存在します。\r\n");
    }
}

TEST(ArchiveJobs, AnArchiveThatCannotTakeItsPlaceFailsAndTempZipStays) {
    FixedClock clock;
    FtpServer server;
    {
        // The archive's folder does not exist: the rename fails; the upload kind then never connects.
        TempDir ghost;
        makeGhost(ghost);
        auto job = archiveJob(ghost.path(), TSettings::Upload, server.address());
        job->NarName = ghost / "missing/%year.nar";
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_EQ(Lines(log.end() - 3, log.end()),
                  (Lines{"圧縮処理を終了しました。",
                         "圧縮処理に失敗しました。" + ghost / "temp.zip" + " の名前を " +
                             ghost / "missing/2007.nar" + " に変更できません：パスが見つかりません。",
                         "nar実行しました。\r\n"}));
        expectArchiveOf(ghost / "temp.zip", ghost, selectedFiles()); // left for inspection
        EXPECT_TRUE(server.commands().empty());
    }
    {
        // An older archive that cannot be deleted stays as it was.
        TempDir ghost;
        makeGhost(ghost);
        const std::string old = ghost.write("pack.nar", "the older archive");
        if (!SetImmutable(old, true))
            GTEST_SKIP() << "the file system refuses the immutable attribute";
        auto job = archiveJob(ghost.path(), TSettings::NarCreate);
        job->NarName = old;
        auto [log, ok] = runThroughLoop(*job);
        SetImmutable(old, false);
        EXPECT_FALSE(ok);
        EXPECT_EQ(log[log.size() - 2],
                  "圧縮処理に失敗しました。" + old + " を削除できません：アクセスが拒否されました。");
        EXPECT_EQ(ReadAll(old), "the older archive");
        expectArchiveOf(ghost / "temp.zip", ghost, selectedFiles());
    }
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(ArchiveJobs, PackingFailuresMakeNoArchive) {
    FixedClock clock;
    {
        // The zip writer fails (a listed file that cannot be read): its message is logged.
        TempDir ghost;
        makeGhost(ghost);
        ASSERT_EQ(::symlink("/proc/self/mem", (ghost / "ghost/master/mem.dic").c_str()), 0);
        auto job = archiveJob(ghost.path(), TSettings::NarCreate);
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        const std::string& line = log[log.size() - 2];
        EXPECT_TRUE(startsWith(line, "圧縮処理に失敗しました。")) << line;
        EXPECT_NE(line.find("mem.dic"), std::string::npos) << line;
        EXPECT_FALSE(contains(log, "圧縮処理を終了しました。"));
        EXPECT_FALSE(fs::exists(ghost / "ghost-2007-03-05.nar"));
    }
    {
        // No file to pack: no archive, and an older one of that name stays.
        TempDir ghost;
        const std::string old = ghost.write("ghost-2007-03-05.nar", "older");
        auto job = archiveJob(ghost.path(), TSettings::NarCreate, "", "nothing*.txt");
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_EQ(log[log.size() - 2], "圧縮処理に失敗しました。圧縮するファイルがないため、" +
                                           ghost / "temp.zip" + " は作られませんでした。");
        EXPECT_EQ(ReadAll(old), "older");
    }
    {
        // The zip library is missing: the pack raises, and its message is the reason.
        TempDir ghost;
        makeGhost(ghost);
        struct RestoreLibraries {
            ~RestoreLibraries() {
                ResetArchiverLibraries();
                TZip32().FreeDLL();
            }
        } restore;
        UnregisterArchiverLibrary("ZIP32J.DLL");
        TZip32().FreeDLL();
        auto job = archiveJob(ghost.path(), TSettings::NarCreate);
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_EQ(
            Lines(log.end() - 3, log.end()),
            (Lines{
                "圧縮処理を開始します。",
                "圧縮処理に失敗しました。ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。",
                "nar実行しました。\r\n"}));
        EXPECT_FALSE(fs::exists(ghost / "ghost-2007-03-05.nar"));
    }
}
#endif

TEST(ArchiveJobs, TempZipIsNeverPackedIntoItselfNorPublishedStale) {
    FixedClock clock;
    TempDir ghost;
    ghost.write("readme.txt", "r");
    ghost.write("temp.zip", "left by an earlier failure");
    auto job = archiveJob(ghost.path(), TSettings::NarCreate, "", "*.*");
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    EXPECT_EQ(log[3], "readme.txt\r\ntemp.zip\r\n"); // listed as found, but left out from here on
    expectArchiveOf(ghost / "ghost-2007-03-05.nar", ghost, {{"readme.txt", "readme.txt"}});
    EXPECT_EQ(ReadAll(ghost / "updates2.dau"), expectedList(ghost, {{"readme.txt", "readme.txt"}}));
    EXPECT_FALSE(fs::exists(ghost / "temp.zip"));

    // With nothing else to pack, the stale temp.zip does not become the archive.
    ASSERT_TRUE(fs::remove(ghost / "ghost-2007-03-05.nar"));
    ghost.write("temp.zip", "left by an earlier failure");
    auto only = archiveJob(ghost.path(), TSettings::NarCreate, "", "temp.zip");
    auto [log2, ok2] = runThroughLoop(*only);
    EXPECT_FALSE(ok2);
    EXPECT_EQ(log2[log2.size() - 2], "圧縮処理に失敗しました。圧縮するファイルがないため、" +
                                         ghost / "temp.zip" + " は作られませんでした。");
    EXPECT_FALSE(fs::exists(ghost / "ghost-2007-03-05.nar"));
}

TEST(ArchiveJobs, AnUpdateListThatCannotBeWrittenEndsTheRun) {
    TempDir ghost;
    makeGhost(ghost);
    ghost.mkdir("updates2.dau"); // a folder where the list goes
    auto job = archiveJob(ghost.path(), TSettings::NarCreate);
    auto other = archiveJob(ghost.path(), TSettings::NarCreate);
    VectorSink sink;
    EXPECT_THROW(RunJobs(
                     2, [&](int i) { return i == 0 ? job.get() : other.get(); }, sink),
                 EFileError);
    EXPECT_EQ(sink.lines.back(), "ファイルリストを生成しました。"); // no closing line, no second job
    EXPECT_FALSE(fs::exists(ghost / "temp.zip"));
}

TEST(ArchiveJobs, VsftpdOverImplicitTlsTakesTheArchiveAndThePage) {
    FixedClock clock;
    CLocaleDateFormats formats;
    VsftpdServer server(Certificates().serverCert, Certificates().serverKey);
    TempDir ghost, pages;
    makeGhost(ghost);
    const std::string page = pages.write("dl.html", "<p>%uploaddate %uploadtime</p>\n<p>%uploadsize</p>\n");
    auto job = archiveJob(ghost.path(), TSettings::Upload, server.address());
    job->OwnFTP->ID = "anonymous";
    job->OwnFTP->SetPassword("guest");
    job->OwnFTP->SSL = true;
    job->ClientOptions.CAFile = Certificates().caFile;
    job->HTML = page;
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    const std::string remoteNar = server.pub() + "ghost-2007-03-05.nar";
    expectArchiveOf(remoteNar, ghost, selectedFiles());
    // vsftpd stores ASCII uploads as they arrive: CR LF.
    EXPECT_EQ(ReadAll(server.pub() + "dl.html"), "<p>03/05/07 14:07:09</p>\r\n<p>" +
                                                     std::to_string(fs::file_size(remoteNar) / 1024) +
                                                     " KB</p>\r\n");
    EXPECT_FALSE(fs::exists(ghost / "ghost-2007-03-05.nar"));
}

TEST(ArchiveJobs, CancelEndsTheJobWithItsOwnLineAndTheRunWithIt) {
    enum When { ListBuild, Pack, Upload };
    for (When when : {ListBuild, Pack, Upload}) {
        SCOPED_TRACE(when == ListBuild ? "during the list build"
                     : when == Pack    ? "during the pack"
                                       : "during the upload");
        FtpServer::Config config;
        config.switches = {"--stall-after", "65536"};
        FtpServer server(config);
        server.rootDir().mkdir("pub");
        TempDir ghost;
        makeGhost(ghost);
        ghost.write("shell/master/big.png", RandomBytes(2 << 20));
        if (when == Pack) { // enough text to deflate for a while
            std::string text = RandomBytes(8 << 20);
            for (char& c : text)
                c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
            for (int i = 0; i < 4; ++i)
                ghost.write("ghost/master/big" + std::to_string(i) + ".dic", text);
        }
        auto job = archiveJob(ghost.path(), TSettings::Upload, server.address());
        auto later = archiveJob(ghost.path(), TSettings::NarCreate);
        later->Name = "later";
        ScriptedPrompts prompts;
        RecordedProgress progress;
        std::chrono::steady_clock::time_point cancelledAt;
        prompts.onPump = [&](int n) {
            bool now = when == ListBuild ? n == 2
                       : when == Pack
                           ? progress.last().Step == "圧縮しています"
                           : !server.commands().empty() && server.commands().back().rfind("STOR", 0) == 0;
            if (now && !CancelRequested()) {
                cancelledAt = std::chrono::steady_clock::now();
                RequestCancel();
            }
        };
        VectorSink sink;
        std::vector<TSettings*> jobs = {job.get(), later.get()};
        RunCounts counts = RunJobs(
            2, [&](int i) { return jobs[size_t(i)]; }, sink);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - cancelledAt).count(), 1.0);
        EXPECT_EQ(counts.Run, 1);
        EXPECT_EQ(counts.Succeeded, 0);
        EXPECT_TRUE(std::find(sink.lines.begin(), sink.lines.end(),
                              when == Upload
                                  ? "FTP接続が出来ませんでした。転送は行われません：ユーザーが中止しました。"
                                  : "圧縮処理に失敗しました。ユーザーが中止しました。") != sink.lines.end())
            << ::testing::PrintToString(sink.lines);
        EXPECT_TRUE(prompts.errors.empty());
        EXPECT_FALSE(fs::exists(ghost / "temp.zip"));
        // An archive whose upload was cancelled stays; none is made when the list build or pack was.
        int archives = 0;
        for (const auto& e : fs::directory_iterator(ghost.path()))
            archives += e.path().extension() == ".nar";
        EXPECT_EQ(archives, when == Upload ? 1 : 0);
        EXPECT_TRUE(server.received().empty());
        ClearCancel();
    }
}

// A selected file whose name the archive's users could not hold stops the job before it writes the update
// lists or packs anything, with a line that says which character is at fault.
TEST(ArchiveJobs, NamesThePlatformCannotHoldStopTheJobBeforeAnythingIsWritten) {
    FixedClock clock;
    struct Case {
        std::string file, patterns, line;
    };
    const std::vector<Case> cases = {
        {"a:b.txt", "*.*", "a:b.txt のファイル名は「:」を含むため、処理できません。"},
        {"back\\slash.txt", "*.*", "back\\slash.txt のファイル名は「\\」を含むため、処理できません。"},
        {"ghost/master/say\"hi\".txt", "ghost/master/*.*",
         "ghost\\master\\say\"hi\".txt のファイル名は「\"」を含むため、処理できません。"},
        {"what?.txt", "*.*", "what?.txt のファイル名は「?」を含むため、処理できません。"},
        {"star*.txt", "*.txt", "star*.txt のファイル名は「*」を含むため、処理できません。"},
        {"a<b>c|d.txt", "*.*", "a<b>c|d.txt のファイル名は「<」を含むため、処理できません。"},
        {"tab\t.txt", "*.*", "tab<09>.txt のファイル名は制御文字（0x09）を含むため、処理できません。"},
        {"Renée.txt", "*.*", "Renée.txt のファイル名はCP932で表せないため、処理できません。"},
    };
    for (const Case& c : cases) {
        TempDir ghost;
        ghost.write("readme.txt", "r");
        ghost.write("whatX.txt", "excluded, and no wildcard brings it back");
        ghost.write("ghost/master/a.dic", "a");
        std::ofstream(ghost / c.file) << "x"; // as it is: TempDir would take '\\' for a separator
        const std::set<std::string> before = entries(ghost.path());
        auto job = archiveJob(ghost.path(), TSettings::NarCreate, "", c.patterns);
        job->ExcludeName = "whatX.txt";
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok) << c.file;
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], c.line) << c.file;
        EXPECT_FALSE(contains(log, "圧縮処理を開始します。")) << c.file;
        EXPECT_EQ(entries(ghost.path()), before) << c.file; // no update list, no temp.zip, no archive
        EXPECT_FALSE(fs::exists(ghost / "ghost/master/updates2.dau")) << c.file;
    }
}

// Only the members' names need a CP932 form: the base folder's own name may hold any character, as
// the user's profile folder does.
TEST(ArchiveJobs, ABaseFolderOutsideCp932IsPackedFromWhereItIs) {
    FixedClock clock;
    TempDir dir;
    const std::string base = dir.mkdir("Renée ♥ 한글") + "/";
    dir.write("Renée ♥ 한글/readme.txt", "read me\r\n");
    dir.write("Renée ♥ 한글/ghost/master/a.dic", "dic one");
    dir.write("Renée ♥ 한글/" + kanaName, "kana");
    dir.write("Renée ♥ 한글/shell/master/s0.png", RandomBytes(70000));
    auto job = archiveJob(base, TSettings::NarCreate);
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    const std::string nar = base + "ghost-2007-03-05.nar";
    EXPECT_EQ(log[log.size() - 2], nar + "を生成しました。");
    std::set<std::pair<std::string, std::string>> found, expected;
    for (const auto& [cp932, onDisk] : selectedFiles())
        expected.insert({cp932, ReadAll(base + onDisk)});
    for (const auto& member : ReadZipContents(nar))
        found.insert(member);
    EXPECT_EQ(found, expected);
    EXPECT_EQ(ArchiveReadersComplaints(nar), "");
    EXPECT_FALSE(fs::exists(base + "temp.zip"));
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
// A pack that was killed leaves the zip writer's temporary beside temp.zip; the next job removes it
// before the list is made, so that a pattern of the base folder never selects it. One that a running
// pack still holds stays, and is not packed either.
TEST(ArchiveJobs, TemporariesOfKilledPacksAreRemovedAndNeverPacked) {
    FixedClock clock;
    TempDir ghost;
    ghost.write("readme.txt", "r");
    ghost.write("temp.zip.0123abcd.tmp", "left by a killed pack");
    ghost.write("temp.zip.notours.tmp", "a file of the user's");
    const std::string held = ghost.write("temp.zip.89abcdef.tmp", "being written");
    int fd = ::open(held.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    auto job = archiveJob(ghost.path(), TSettings::NarCreate, "", "*.*");
    ScriptedPrompts prompts;
    prompts.answers = {true}; // the user's own *.tmp is worth a question; the pack's temporaries are not
    auto [log, ok] = runThroughLoop(*job);
    ::close(fd);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_NE(prompts.questions[0].text.find("temp.zip.notours.tmp"), std::string::npos);
    EXPECT_EQ(prompts.questions[0].text.find("temp.zip.89abcdef.tmp"), std::string::npos);
    EXPECT_FALSE(fs::exists(ghost / "temp.zip.0123abcd.tmp"));
    EXPECT_TRUE(fs::exists(held));
    const Files packed = {{"readme.txt", "readme.txt"}, {"temp.zip.notours.tmp", "temp.zip.notours.tmp"}};
    expectArchiveOf(ghost / "ghost-2007-03-05.nar", ghost, packed);
    EXPECT_EQ(ReadAll(ghost / "updates2.dau"), expectedList(ghost, packed));
}
#endif

// An archive name that reaches temp.zip another way is temp.zip itself: the fresh archive stays.
TEST(ArchiveJobs, AnArchiveNamedAsTempZipAnotherWayIsKept) {
    FixedClock clock;
    for (const std::string spelling : {"./temp.zip", "ghost/../temp.zip", "ghost//..//temp.zip"}) {
        TempDir ghost;
        makeGhost(ghost);
        auto job = archiveJob(ghost.path(), TSettings::NarCreate);
        job->NarName = ghost / spelling;
        auto [log, ok] = runThroughLoop(*job);
        ASSERT_TRUE(ok) << spelling << ::testing::PrintToString(log);
        EXPECT_EQ(log[log.size() - 2], ghost / spelling + "を生成しました。");
        expectArchiveOf(ghost / "temp.zip", ghost, selectedFiles());
    }
}
