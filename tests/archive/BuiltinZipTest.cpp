#include "archive/BuiltinZip.h"
#include "archive/ArchiveFile.h"
#include "archive/ArchiverApi.h"
#include "archive/ArchiverRegistry.h"
#include "archive/Zip32.h"
#include "platform/Cp932.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/ZipHeaders.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
        EXPECT_EQ(m.madeBy, 3u) << m.name; // Unix: extractors keep a second byte 0x5C as it is
        EXPECT_LE(m.compressedSize, m.size) << m.name;
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
    // Read by the shell: a name that is no UTF-8 is one a Windows program under wine cannot open.
    EXPECT_EQ(RunShell("LC_ALL=C ls '" + out + "/ghost/master'"),
              "updates2.dau\n\x83\x5C\x95\x5C\x94\x5C.dic\n");
    EXPECT_EQ(RunShell("cat '" + out + "/ghost/master/'*.dic"), ReadAll(dir / "ghost/master/ソ表能.dic"));
    RunShell("unzip -tq '" + archive + "'", &status);
    EXPECT_EQ(status, 0);
    RunShell("rm -rf '" + out + "'"); // nor can it remove it
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
    // Names ending in a second byte 0x5C, in a base folder whose own name ends that way, and where the
    // system's table gives them one, names whose CP932 form decodes to another character.
    std::string base = dir.mkdir("ソ") + "/";
    // ﾃｽ and 凜ｱ are CP932 whose bytes also form valid UTF-8 (C3 BD, EA A3 B1).
    std::vector<std::pair<std::string, std::string>> names = {{"ghost\\表", "ghost/\x95\x5C"},
                                                              {"表.txt", "\x95\x5C.txt"},
                                                              {"ﾃｽ.txt", "\xC3\xBD.txt"},
                                                              {"凜ｱ.txt", "\xEA\xA3\xB1.txt"}};
    if (SevenHaveSharedForms)
        names.insert(names.end(), {{"〜.txt", "\x81\x60.txt"},
                                   {"−.txt", "\x81\x7C.txt"},
                                   {"—.txt", "\x81\x5C.txt"},
                                   {"‖.txt", "\x81\x61.txt"},
                                   {"¢.txt", "\x81\x91.txt"},
                                   {"£.txt", "\x81\x92.txt"},
                                   {"¬.txt", "\x81\xCA.txt"}});
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
        EXPECT_EQ(m.centralExtraIds + m.localExtraIds, "--") << m.name; // nor a Unicode name field
        EXPECT_TRUE(m.crcOk);
    }
    std::vector<std::string> want;
    for (const auto& [name, cp932] : names)
        want.push_back(cp932);
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);
    int status = -1;
    std::string out = RunShell("unzip -tq '" + base + "temp.zip' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
}

namespace {

struct Result {
    int code;
    std::string output;
};

// Calls the writer's entry with a command line in its language.
Result zipCommand(const std::string& commandLine) {
    std::string output(4096, '\0');
    int code = BuiltinZipCommand(nullptr, commandLine.c_str(), output.data(), 4096);
    return {code, output.c_str()};
}

std::string q(const std::string& text) {
    return " \"" + text + "\"";
}

std::string zipTest(const std::string& archive) {
    int status = 0;
    std::string out = RunShell("unzip -tq '" + archive + "' 2>&1", &status);
    return status == 0 ? "" : out;
}

std::time_t mtimeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

// Files the writer may have left in a folder: its temporary archives.
std::string leftovers(const TempDir& dir) {
    std::string found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
        if (e.path().extension() == ".tmp")
            found += e.path().string() + "\n";
    return found;
}

std::time_t localSeconds(std::tm t) {
    return std::mktime(&t);
}

} // namespace

TEST(BuiltinZip, MemberTimesAreRoundedUpToTheEvenSecond) {
    TempDir dir;
    SetFileTime(dir.write("even.txt", "e"), LocalTime(2020, 5, 6, 7, 8, 10));
    SetFileTime(dir.write("odd.txt", "o"), LocalTime(2020, 5, 6, 7, 8, 11));
    // Half a second past an even second still counts as later than it.
    SetFileTime(dir.write("part.txt", "p"), LocalTime(2020, 5, 6, 7, 8, 10), std::chrono::milliseconds(500));
    SetFileTime(dir.write("old.txt", "x"), LocalTime(1975, 1, 1, 0, 0, 0));
    ASSERT_EQ(pack(dir, dir / "t.zip", {"even.txt", "odd.txt", "part.txt", "old.txt"}), 0);
    std::vector<ZipMember> headers = ReadZipHeaders(dir / "t.zip");
    ASSERT_EQ(headers.size(), 4u);
    EXPECT_EQ(headers[0].mtime, "20200506070810"); // even.txt
    EXPECT_EQ(headers[1].mtime, "20200506070812"); // odd.txt
    EXPECT_EQ(headers[2].mtime, "19800101000000"); // old.txt: the earliest a zip time holds
    EXPECT_EQ(headers[3].mtime, "20200506070812"); // part.txt
}

TEST(BuiltinZip, SwitchesTheBuildersEmit) {
    TempDir dir;
    SetFileTime(dir.write("a.txt", std::string(3000, 'a')), LocalTime(2019, 1, 2, 3, 4, 5));
    SetFileTime(dir.write("b.bin", RandomBytes(3000)), LocalTime(2021, 6, 7, 8, 9, 11));
    std::string archive = dir / "temp.zip";
    ResetArchiverLibraries();
    TZip32().FreeDLL();
    TArchiveFile component;
    component.SetFileName(archive);
    component.SetOutputSize(4096);
    const std::vector<std::string> names = {"a.txt", "b.bin"};

    // n > 0 gives -q and -o: the archive is as old as its newest member (rounded as the member is).
    TArchiverOptions o;
    o.UserOptions = "-9 -X";
    o.n = 1;
    ASSERT_EQ(component.PackFiles(nullptr, &o, dir.path(), {names}), 0);
    EXPECT_NE(component.CommandLine.find(" -q -o "), std::string::npos) << component.CommandLine;
    EXPECT_EQ(mtimeOf(archive), localSeconds(LocalTime(2021, 6, 7, 8, 9, 12)));

    // l > 0 gives -v: the output lists every member with what became of it.
    o.n = -1;
    o.l = 1;
    ASSERT_EQ(component.PackFiles(nullptr, &o, dir.path(), {names}), 0);
    std::string listing = component.Output().c_str();
    EXPECT_EQ(listing.rfind("  adding: a.txt (deflated 9", 0), 0u) << listing;
    EXPECT_NE(listing.find("%)\r\n  adding: b.bin (stored 0%)\r\n"), std::string::npos) << listing;
    EXPECT_GT(mtimeOf(archive), localSeconds(LocalTime(2022, 1, 1))); // no -o: the time of writing

    // u > 0 gives -u: the old archive was deleted first, so updating it makes a fresh one; gd > 0 gives
    // -J, and a fresh archive has nothing prepended to strip.
    o.l = -1;
    o.u = 1;
    o.gd = 1;
    ASSERT_EQ(component.PackFiles(nullptr, &o, dir.path(), {std::vector<std::string>{"b.bin"}}), 0);
    EXPECT_NE(component.CommandLine.find(" -u -J "), std::string::npos) << component.CommandLine;
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"), "b.bin\n");
    EXPECT_EQ(zipTest(archive), "");
    // Called directly, -u on an archive that is there is refused: this writer only makes fresh ones.
    Result r = zipCommand(" -u" + q(archive) + q(dir.path()) + q("a.txt"));
    EXPECT_EQ(r.code, ERROR_COMMAND_NAME);
    EXPECT_NE(r.output.find("\"-u\""), std::string::npos) << r.output;
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"), "b.bin\n");
}

TEST(BuiltinZip, RefusedSwitchesLeaveTheOldArchive) {
    TempDir dir;
    dir.write("a.txt", "a");
    std::string archive = dir.write("temp.zip", "old archive");
    ResetArchiverLibraries();
    TZip32().FreeDLL();
    TArchiveFile component;
    component.SetFileName(archive);
    component.SetOutputSize(512);
    auto refused = [&](TArchiverOptions o, const std::string& sw) {
        o.UserOptions += " -9 -X";
        int rc = component.PackFiles(nullptr, &o, dir.path(), {std::vector<std::string>{"a.txt"}});
        EXPECT_EQ(rc, ERROR_COMMAND_NAME) << sw;
        EXPECT_NE(std::string(component.Output().c_str()).find("\"" + sw + "\""), std::string::npos)
            << component.Output().c_str();
        EXPECT_EQ(ReadAll(archive), "old archive") << sw; // refused before the deletion
    };
    TArchiverOptions k;
    k.ji = 1;
    refused(k, "-k");
    TArchiverOptions ff;
    ff.jc = 1;
    refused(ff, "-FF");
    TArchiverOptions r; // only the archiver filter leaves -r to the library
    r.r = 1;
    r.PackFilter = pfArchiver;
    refused(r, "-r");
    TArchiverOptions y;
    y.UserOptions = "-y";
    refused(y, "-y");
    EXPECT_EQ(leftovers(dir), "");
}

TEST(BuiltinZip, ResponseFilesAndMembersNamedWithAnAt) {
    TempDir dir;
    dir.write("a.txt", std::string(100000, 'x'));
    dir.write("@notes.txt", "the notes");
    dir.write("notes.txt", "\"a.txt\"\r\n"); // a stray file that reads like a response file
    dir.write("list.txt", "\"a.txt\"\r\n\"[@]notes.txt\"\r\n");
    std::string archive = dir / "r.zip";

    // "@" starts a response file only as the builder writes one; the escape writes a member "@x" as
    // "[@]x", on the command line and in a response file.
    EXPECT_EQ(TZip32::EscapeName("@notes.txt"), "[@]notes.txt");
    EXPECT_EQ(TZip32::EscapeName("a@b"), "a@b");
    Result r = zipCommand(" -D -0" + q(archive) + q(dir.path()) + q("@" + dir / "list.txt"));
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"), "a.txt\n@notes.txt\n");
    EXPECT_NE(RunShell("zipinfo '" + archive + "' | grep a.txt").find(" stor "), std::string::npos); // -0

    ASSERT_EQ(pack(dir, archive, {"@notes.txt"}), 0);
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"), "@notes.txt\n");
    std::string out = dir.mkdir("out");
    RunShell("cd '" + out + "' && unzip -q '" + archive + "'");
    EXPECT_EQ(ReadAll(out + "/@notes.txt"), "the notes");

    // Through a response file the component writes.
    ResetArchiverLibraries();
    TZip32().FreeDLL();
    TArchiveFile component;
    component.SetFileName(archive);
    TArchiverOptions o;
    o.UserOptions = "-9 -X";
    o.ResFileName = dir / "res.txt";
    ASSERT_EQ(component.PackFiles(nullptr, &o, dir.path(), {std::vector<std::string>{"@notes.txt", "a.txt"}}),
              0);
    EXPECT_EQ(ReadAll(dir / "res.txt"), "\"[@]notes.txt\"\r\n\"a.txt\"\r\n");
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"), "@notes.txt\na.txt\n");

    // A response file that cannot be read fails before anything is written.
    r = zipCommand(" -D" + q(dir / "n.zip") + q(dir.path()) + q("@" + dir / "missing.txt"));
    EXPECT_EQ(r.code, ERROR_FILE_OPEN);
    EXPECT_FALSE(std::filesystem::exists(dir / "n.zip"));
}

TEST(BuiltinZip, NoMembersGiveAValidEmptyArchive) {
    TempDir dir;
    dir.write("empty.txt", "");
    std::string archive = dir / "e.zip";
    auto isEmptyArchive = [&] {
        EXPECT_EQ(std::filesystem::file_size(archive), 22u); // the end record alone
        EXPECT_TRUE(ReadZipHeaders(archive).empty());
        int status = -1;
        RunShell("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                 "sys.exit(z.testzip() is not None or len(z.namelist()) != 0)\" '" +
                     archive + "'",
                 &status);
        EXPECT_EQ(status, 0);
    };
    ASSERT_EQ(zipCommand(" -D" + q(archive) + q(dir.path())).code, 0);
    isEmptyArchive();
    std::filesystem::remove(archive);
    ASSERT_EQ(zipCommand(" -D" + q(archive) + q(dir.path()) + q("@" + dir / "empty.txt")).code, 0);
    isEmptyArchive();

    // The archiver filter hands an empty list over as it is.
    std::filesystem::remove(archive);
    ResetArchiverLibraries();
    TZip32().FreeDLL();
    TArchiveFile component;
    component.SetFileName(archive);
    TArchiverOptions o;
    o.PackFilter = pfArchiver;
    ASSERT_EQ(component.PackFiles(nullptr, &o, dir.path(), {std::vector<std::string>{}}), 0);
    isEmptyArchive();
}

TEST(BuiltinZip, TheArchiveIsNeverItsOwnMember) {
    TempDir dir;
    dir.write("a.txt", "a");
    std::string archive = dir.write("temp.zip", "old archive");
    // The component collects the old archive; the binding deletes it; the writer leaves its name out.
    ASSERT_EQ(pack(dir, archive, {"a.txt", "temp.zip"}), 0);
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"), "a.txt\n");
    // Called directly, with the archive there, and named through a folder of the path.
    dir.mkdir("sub");
    Result r = zipCommand(" -D" + q(archive) + q(dir.path()) + q("sub\\..\\temp.zip") + q("a.txt"));
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(RunShell("zipinfo -1 '" + archive + "'"), "a.txt\n");
}

// The entry for a UTF-8 command line takes the archive and base folder as they are, whatever characters
// they hold, and gives each member its CP932 name; a member name CP932 lacks is refused, in the message
// the log shows.
TEST(BuiltinZip, AUtf8CommandTakesFoldersCp932Lacks) {
    TempDir dir;
    const std::string base = dir.mkdir("Renée ♥ 한글") + "/";
    dir.write("Renée ♥ 한글/ghost/master/ソ表[1].dic", "dic");
    dir.write("Renée ♥ 한글/-a.txt", "a");
    dir.write("Renée ♥ 한글/Zoë.txt", "z");
    const std::string archive = base + "temp.zip";
    std::string output(1024, '\0');
    std::string line =
        " -D -9 -X \"" + archive + "\" \"" + base + "\" \"ghost/master/ソ表[[]1].dic\" \"[-]a.txt\"";
    ASSERT_EQ(BuiltinZipCheckCommandUtf8(nullptr, line.c_str(), output.data(), 1024), 0);
    ASSERT_EQ(BuiltinZipCommandUtf8(nullptr, line.c_str(), output.data(), 1024), 0) << output.c_str();
    std::vector<ZipMember> members = ReadZipHeaders(archive);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].name, "ghost/master/\x83\x5C\x95\x5C[1].dic");
    EXPECT_EQ(members[1].name, "-a.txt");

    line = " -D -9 -X \"" + base + "other.zip\" \"" + base + "\" \"Zoë.txt\"";
    EXPECT_EQ(BuiltinZipCheckCommandUtf8(nullptr, line.c_str(), output.data(), 1024), ERROR_FILE_OPEN);
    EXPECT_EQ(Cp932ToUtf8(output.c_str()), "Zo?.txt のファイル名はCP932で表せないため、処理できません。");
    EXPECT_FALSE(std::filesystem::exists(base + "other.zip"));
}
