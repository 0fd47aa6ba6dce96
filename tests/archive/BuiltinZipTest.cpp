#include "archive/BuiltinZip.h"
#include "archive/ArchiveFile.h"
#include "archive/ArchiverApi.h"
#include "archive/ArchiverRegistry.h"
#include "archive/Zip32.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/ZipHeaders.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

int pack(const TempDir& dir, const std::string& archive, const std::vector<std::string>& names,
         const std::string& userOptions = "-9 -X") {
    ResetArchiverLibraries();
    TZip32().FreeDLL();
    TArchiveFile component;
    component.SetFileName(archive);
    TArchiverOptions o;
    o.UserOptions = userOptions;
    return component.PackFiles(nullptr, &o, dir.path(), {names});
}

} // namespace

TEST(BuiltinZip, ArchiveAsUnzipSeesIt) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "\\h\\s[0]こんにちは。\\n\\e ";
    dir.write("readme.txt", text);
    dir.write("ghost/master/updates2.dau", "list");
    dir.write("ghost/master/ソ表能.dic", text.substr(0, 999));
    dir.write("shell/master/surface0.png", RandomBytes(50000, 3));
    dir.write("-dash[1].txt", "odd name");
    dir.write("empty.txt", "");
    std::string archive = dir / "temp.zip";
    ASSERT_EQ(pack(dir, archive,
                   {"readme.txt", "ghost\\master\\updates2.dau", "ghost\\master\\ソ表能.dic",
                    "shell\\master\\surface0.png", "-dash[1].txt", "empty.txt"}),
              0);

    int status = 0;
    std::string listing = RunShell("zipinfo -v '" + archive + "'", &status);
    ASSERT_EQ(status, 0) << listing;
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = 0; (at = listing.find(what, at)) != std::string::npos; ++at)
            ++n;
        return n;
    };
    EXPECT_EQ(count("length of extra field:                          0 bytes"), 6u);
    EXPECT_EQ(count("length of extra field:"), 6u);
    // The flag bits of both headers: no member carries the UTF-8 flag, none an extra field.
    std::vector<ZipMember> headers = ReadZipHeaders(archive);
    ASSERT_EQ(headers.size(), 6u);
    for (const ZipMember& m : headers) {
        EXPECT_FALSE(m.utf8Flag()) << m.name;
        EXPECT_EQ(m.centralExtra + m.localExtra, 0u) << m.name;
        EXPECT_TRUE(m.crcOk) << m.name;
    }

    // Sorted members under their relative paths, no folder entries, names as CP932 bytes.
    const std::string kana = "ghost/master/\x83\x5C\x95\x5C\x94\x5C.dic";
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"),
              "-dash[1].txt\nempty.txt\nghost/master/updates2.dau\n" + kana +
                  "\nreadme.txt\nshell/master/surface0.png\n");
    for (const std::string line : {"readme.txt", "ghost/master/updates2.dau", "surface0.png", "empty.txt"}) {
        std::string row = RunShell("zipinfo '" + archive + "' | grep '" + line + "'");
        bool stored =
            line != "readme.txt"; // incompressible, tiny or empty: deflate would not make it smaller
        EXPECT_NE(row.find(stored ? " stor " : " def"), std::string::npos) << row;
    }

    // Extracted by a real unzip, every file comes back byte for byte, the kana one under its CP932 name.
    std::string out = dir.mkdir("out");
    RunShell("cd '" + out + "' && unzip -q '" + archive + "'", &status);
    ASSERT_EQ(status, 0);
    for (const char* rel : {"readme.txt", "ghost/master/updates2.dau", "shell/master/surface0.png",
                            "-dash[1].txt", "empty.txt"})
        EXPECT_EQ(ReadAll(out + "/" + rel), ReadAll(dir / rel)) << rel;
    EXPECT_EQ(ReadAll(out + "/" + kana), ReadAll(dir / "ghost/master/ソ表能.dic"));
    RunShell("unzip -tq '" + archive + "'", &status);
    EXPECT_EQ(status, 0);
}

TEST(BuiltinZip, MemberTimesFollowTheFiles) {
    TempDir dir;
    std::string file = dir.write("a.txt", "a");
    SetFileTime(file, LocalTime(2020, 5, 6, 7, 8, 10));
    ASSERT_EQ(pack(dir, dir / "t.zip", {"a.txt"}), 0);
    std::string listing = RunShell("zipinfo -T '" + dir / "t.zip" + "'");
    EXPECT_NE(listing.find("20200506.070810"), std::string::npos) << listing;
}

TEST(BuiltinZip, RefusesWhatItDoesNotImplement) {
    TempDir dir;
    dir.write("a.txt", "a");
    std::string archive = dir / "t.zip";
    std::string output(256, '\0');
    std::string command = "-u \"" + archive + "\" \"" + dir.path() + "\" \"a.txt\"";
    EXPECT_EQ(BuiltinZipCommand(nullptr, command.c_str(), output.data(), 256), ERROR_COMMAND_NAME);
    EXPECT_NE(std::string(output.c_str()).find("-u"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(archive));

    command = " -D \"" + archive + "\" \"" + dir.path() + "\" \"missing.txt\"";
    EXPECT_EQ(BuiltinZipCommand(nullptr, command.c_str(), output.data(), 256), ERROR_FILE_OPEN);
    EXPECT_FALSE(std::filesystem::exists(archive));
    EXPECT_NE(pack(dir, archive, {"a.txt"}, "-9 -r"), 0);
}

TEST(BuiltinZip, ResponseFileAndLevels) {
    TempDir dir;
    std::string text(100000, 'x');
    dir.write("a.txt", text);
    dir.write("b.txt", "b");
    dir.write("list.txt", "\"a.txt\"\r\n\"b.txt\"\r\n");
    std::string archive = dir / "r.zip";
    std::string command = " -D -0 \"" + archive + "\" \"" + dir.path() + "\" \"@" + dir / "list.txt" + "\" ";
    ASSERT_EQ(BuiltinZipCommand(nullptr, command.c_str(), nullptr, 0), 0);
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"), "a.txt\nb.txt\n");
    EXPECT_NE(RunShell("zipinfo '" + archive + "' | grep a.txt").find(" stor "),
              std::string::npos); // level 0 stores
}

TEST(BuiltinZip, EveryPackBuildsAFreshArchive) {
    TempDir dir;
    dir.write("a.txt", "a");
    dir.write("b.txt", "b");
    std::string archive = dir / "temp.zip";
    ASSERT_EQ(pack(dir, archive, {"a.txt", "b.txt"}), 0);
    ASSERT_EQ(pack(dir, archive, {"b.txt"}), 0);
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"), "b.txt\n");
}

TEST(BuiltinZip, MembersArePackedUnderTheirCp932Bytes) {
    TempDir dir;
    // Names whose CP932 form decodes to another character, and one ending in a second byte 0x5C, in a base
    // folder whose own name ends that way.
    std::string base = dir.mkdir("ソ") + "/";
    const std::vector<std::pair<std::string, std::string>> names = {
        {"〜.txt", "\x81\x60.txt"}, {"−.txt", "\x81\x7C.txt"},      {"—.txt", "\x81\x5C.txt"},
        {"‖.txt", "\x81\x61.txt"},  {"¢.txt", "\x81\x91.txt"},      {"£.txt", "\x81\x92.txt"},
        {"¬.txt", "\x81\xCA.txt"},  {"ghost\\表", "ghost/\x95\x5C"}};
    std::vector<std::string> members;
    for (const auto& [name, cp932] : names) {
        dir.write("ソ/" + name, "content " + name);
        members.push_back(name);
    }
    ResetArchiverLibraries();
    TZip32().FreeDLL();
    TArchiveFile component;
    component.SetFileName(base + "temp.zip");
    TArchiverOptions o;
    o.UserOptions = "-9 -X";
    ASSERT_EQ(component.PackFiles(nullptr, &o, base, {members}), 0);
    std::vector<ZipMember> headers = ReadZipHeaders(base + "temp.zip");
    std::vector<std::string> got;
    for (const ZipMember& m : headers) {
        got.push_back(m.name);
        EXPECT_FALSE(m.utf8Flag());
        EXPECT_TRUE(m.crcOk);
    }
    std::vector<std::string> want;
    for (const auto& [name, cp932] : names)
        want.push_back(cp932);
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);
}
