#include "jobs/Settings.h"
#include "run/JobRunner.h"
#include "support/FtpServer.h"
#include "support/JobFixtures.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/VectorSink.h"
#include "support/ZipContents.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

const char* const patterns =
    "readme.txt\r\nghost/master/*.*\r\nghost/master/words/*.dic\r\nshell/master/*.png\r\n";

void makeGhost(const TempDir& dir) {
    dir.write("readme.txt", "read me\r\n");
    dir.write("ghost/master/a.dic", "dic one");
    dir.write("shell/master/s0.png", std::string(70000, '\x89'));
}

// Every file and folder under `root` with its bytes and its time, to tell that nothing was touched.
std::map<std::string, std::pair<std::string, fs::file_time_type>> snapshot(const std::string& root) {
    // The folder's own time changes when a file is made in it and removed again. (Its name without the
    // closing separator, which not every system's stat takes.)
    const fs::path folder = fs::u8path(root).parent_path();
    std::map<std::string, std::pair<std::string, fs::file_time_type>> s{
        {".", {"<dir>", fs::last_write_time(folder)}}};
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::u8string name = e.path().u8string();
        const std::string path(name.begin(), name.end());
        s[path] = {e.is_regular_file() ? ReadAll(path) : std::string("<dir>"), fs::last_write_time(e.path())};
    }
    return s;
}

std::pair<Lines, bool> run(TSettings& job, bool preview) {
    VectorSink sink;
    RunCounts counts = RunJobs(
        1, [&](int) { return &job; }, sink, preview);
    sink.lines.push_back(SummaryLine(counts, preview));
    return {sink.lines, counts.Succeeded == 1};
}

// What the log says goes up: the preview's lines without their tag, or the run's upload lines.
Lines previewUploads(const Lines& log) {
    Lines files;
    const std::string prefix = "[プレビュー] ", suffix = "をアップロードします。";
    for (const std::string& l : log)
        if (l.rfind(prefix, 0) == 0 && l.find(suffix) != std::string::npos)
            files.push_back(l.substr(prefix.size(), l.find(suffix) - prefix.size()) +
                            l.substr(l.find(suffix) + suffix.size()));
    return files;
}

Lines runUploads(const Lines& log) {
    Lines files;
    const std::string suffix = "をアップロードします。";
    for (const std::string& l : log)
        if (l.size() > suffix.size() && l.compare(l.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            l != "updates2.dau" + suffix)
            files.push_back(l.substr(0, l.size() - suffix.size()));
    return files;
}

// Commands that change something on an FTP server.
bool changesServer(const std::string& command) {
    for (const char* verb :
         {"STOR", "APPE", "STOU", "MKD", "XMKD", "RMD", "XRMD", "DELE", "RNFR", "RNTO", "SITE"})
        if (command.rfind(std::string(verb) + " ", 0) == 0 || command == verb)
            return true;
    return false;
}

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(Preview, NetworkUpdateChangesNothingAndNamesWhatTheRunThenUploads) {
    FtpServer server;
    server.rootDir().mkdir("pub");
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns);
    ASSERT_TRUE(run(*job, false).second);

    // One file changed, one new in a folder the server lacks, one that the server never had.
    local.write("ghost/master/a.dic", "dic two");
    local.write("ghost/master/words/b.dic", "new");
    const auto serverBefore = snapshot(server.root());
    const auto localBefore = snapshot(local.path());
    server.clearLog();
    ScriptedPrompts prompts;
    auto [log, ok] = run(*job, true);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    EXPECT_TRUE(prompts.questions.empty());
    for (const std::string& c : server.commands())
        EXPECT_FALSE(changesServer(c)) << c;
    EXPECT_EQ(snapshot(server.root()), serverBefore);
    EXPECT_EQ(snapshot(local.path()),
              localBefore); // no updates2.dau in the base folder, not even for a while
    EXPECT_EQ(log[1], "プレビューです。サーバーとローカルのファイルは何も変更しません。");
    EXPECT_TRUE(contains(log, "[プレビュー] ディレクトリghost/master/words/を作成します。"));
    EXPECT_TRUE(contains(log, "[プレビュー] updates2.dauを公開します。"));
    EXPECT_TRUE(contains(log,
                         "プレビューの結果: アップロード2件（新規1件、更新1件）、作成するディレクトリ1件、"
                         "updates2.dauは新しくなります。"));
    EXPECT_EQ(log.back(),
              "プレビュー: 1項目 - 成功1 / 失敗0（サーバーとローカルのファイルは何も変更していません）");
    const Lines previewed = previewUploads(log);
    EXPECT_EQ(previewed, (Lines{"ghost/master/a.dic（更新）", "ghost/master/words/b.dic（新規）"}));

    // The real run uploads exactly those.
    auto [realLog, realOk] = run(*job, false);
    ASSERT_TRUE(realOk) << ::testing::PrintToString(realLog);
    EXPECT_EQ(runUploads(realLog), (Lines{"ghost/master/a.dic", "ghost/master/words/b.dic"}));
    EXPECT_EQ(realLog.back(), "1項目実行 - 成功1 / 失敗0");

    // Nothing left to do: the preview says so, and still touches nothing.
    const auto serverAfter = snapshot(server.root());
    server.clearLog();
    auto [idleLog, idleOk] = run(*job, true);
    EXPECT_TRUE(idleOk);
    EXPECT_TRUE(previewUploads(idleLog).empty());
    EXPECT_TRUE(contains(idleLog, "更新されたファイルはありません。"));
    EXPECT_EQ(snapshot(server.root()), serverAfter);
}

TEST(Preview, AMissingUploadDirectoryIsReportedNotMade) {
    FtpServer server;
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns, "pub");
    const auto serverBefore = snapshot(server.root());
    auto [log, ok] = run(*job, true);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    for (const std::string& c : server.commands())
        EXPECT_FALSE(changesServer(c)) << c;
    EXPECT_EQ(snapshot(server.root()), serverBefore);
    EXPECT_TRUE(contains(log, "[プレビュー] ディレクトリpubを作成します。"));
    EXPECT_TRUE(contains(log, "[プレビュー] ディレクトリghost/を作成します。"));
    EXPECT_TRUE(contains(log, "[プレビュー] ディレクトリghost/master/を作成します。"));
    const Lines previewed = previewUploads(log);
    EXPECT_EQ(previewed.size(), 3u) << ::testing::PrintToString(log);

    // The run that follows makes those and uploads the same files.
    auto [realLog, realOk] = run(*job, false);
    ASSERT_TRUE(realOk) << ::testing::PrintToString(realLog);
    Lines expected;
    for (const std::string& p : previewed)
        expected.push_back(p.substr(0, p.find("（新規）")));
    EXPECT_EQ(runUploads(realLog), expected);
}

TEST(Preview, ArchivesAreDescribedNotWritten) {
    FtpServer server;
    server.rootDir().mkdir("pub");
    TempDir local, out;
    makeGhost(local);
    local.write("install.txt", "type,ghost\r\ndirectory,sakura\r\n");
    local.write("updates2.dau", "an old list\r\n");
    for (uint8_t kind : {TSettings::NarCreate, TSettings::Upload}) {
        auto job =
            NetworkJob(server, local.path(), std::string("install.txt\r\nupdates2.dau\r\n") + patterns);
        job->Kind = kind;
        job->NarName = out / "ghost.nar";
        const auto localBefore = snapshot(local.path());
        server.clearLog();
        ScriptedPrompts prompts;
        auto [log, ok] = run(*job, true);
        ASSERT_TRUE(ok) << ::testing::PrintToString(log);
        EXPECT_EQ(snapshot(local.path()), localBefore) << int(kind);
        EXPECT_FALSE(fs::exists(out / "ghost.nar"));
        for (const std::string& c : server.commands())
            EXPECT_FALSE(changesServer(c)) << c;
        EXPECT_EQ(contains(log, "[プレビュー] ghost.narをアップロードします。"), kind == TSettings::Upload);

        // The archive the real run makes holds what the preview said: members and their bytes in all.
        auto [realLog, realOk] = run(*job, false);
        ASSERT_TRUE(realOk) << ::testing::PrintToString(realLog);
        const std::string nar =
            kind == TSettings::Upload ? server.root() + "pub/ghost.nar" : out / "ghost.nar";
        size_t bytes = 0;
        const auto members = ReadZipContents(nar);
        for (const auto& m : members)
            bytes += m.second.size();
        EXPECT_TRUE(contains(log, "[プレビュー] " + out / "ghost.nar" + "を生成します。収録ファイル" +
                                      std::to_string(members.size()) + "件、展開後の合計" +
                                      std::to_string(bytes) + "バイトです。"))
            << ::testing::PrintToString(log);
        local.write("updates2.dau", "an old list\r\n");
        fs::remove(out / "ghost.nar");
    }
}
