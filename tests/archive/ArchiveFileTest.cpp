#include "archive/ArchiveFile.h"
#include "archive/ArchiverApi.h"
#include "archive/ArchiverErrors.h"
#include "archive/ArchiverRegistry.h"
#include "archive/Rar32.h"
#include "archive/Zip32.h"
#include "platform/FileSystem.h"
#include "support/FakeLibrary.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

// What a fake library's "Zip" entry was handed.
std::string lastCommand;
bool lastOutputWasNull = false;

extern "C" int fakeZip(void*, const char* commandLine, char* output, uint32_t size) {
    lastCommand = commandLine;
    lastOutputWasNull = output == nullptr && size == 0;
    return 0;
}

// What the check entry of a creator library answers, and whether the archive was there when "Zip" ran.
int checkAnswer = 0;
std::string checkedCommand, archiveSeenByZip;
bool archiveThereForZip = false;

extern "C" int fakeCheck(void*, const char* commandLine, char* output, uint32_t size) {
    checkedCommand = commandLine;
    if (checkAnswer && output && size > 7)
        std::memcpy(output, "refused", 8);
    return checkAnswer;
}

extern "C" int fakeZipLookingForTheArchive(void* window, const char* commandLine, char* output,
                                           uint32_t size) {
    archiveThereForZip = FileExists(archiveSeenByZip);
    return fakeZip(window, commandLine, output, size);
}

// Each test starts from the built-in registrations and a fresh ZIP binding.
class ArchiveFileTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        ResetArchiverLibraries();
        TZip32().FreeDLL();
        lastCommand.clear();
    }
    static TArchiverOptions jobOptions() {
        TArchiverOptions o;
        o.UserOptions = "-9 -X";
        return o;
    }
};

} // namespace

TEST_F(ArchiveFileTest, DetectionByExtension) {
    for (const char* name : {"temp.zip", "TEMP.ZIP", "x.jar", "x.War"}) {
        TArchiveFile archive;
        archive.SetFileName(name);
        EXPECT_EQ(archive.ArchiverType(), atZip) << name;
        EXPECT_NE(dynamic_cast<TZip32*>(archive.Archiver()), nullptr) << name;
    }
    EXPECT_EQ(DetectByExtension("a.tar.gz"), atTgz);
    EXPECT_EQ(DetectByExtension("a.lzh"), atLha);
    EXPECT_EQ(DetectByExtension("noext"), atNone);
    EXPECT_EQ(DetectByExtension("dir.zip/file"), atNone);
    EXPECT_EQ(DetectByExtension("/missing/setup.exe"), atNone); // by contents: no library knows it
}

TEST_F(ArchiveFileTest, UnknownFormatCannotPack) {
    TempDir dir;
    dir.write("a.txt", "a");
    TArchiveFile archive;
    archive.SetFileName(dir / "x.nar");
    EXPECT_EQ(archive.ArchiverType(), atAutoDetect);
    try {
        archive.PackFiles(nullptr, nullptr, dir.path(), {std::string("a.txt")});
        FAIL() << "packed without a format";
    } catch (const EArchiver& e) {
        EXPECT_STREQ(e.what(), "書庫の形式を判別できません。");
    }
    EXPECT_THROW(archive.SetArchiverType(atGCA), EArchiver);
    archive.SetArchiverType(atNone);
    EXPECT_EQ(archive.ArchiverType(), atAutoDetect);
}

TEST_F(ArchiveFileTest, ZipTypeSurvivesANarName) {
    TempDir dir;
    dir.write("a.txt", "a");
    TArchiveFile archive;
    archive.SetFileName(dir / "a.zip");
    archive.SetFileName(dir / "b.nar");
    EXPECT_EQ(archive.ArchiverType(), atZip);
    TArchiverOptions o = jobOptions();
    EXPECT_EQ(archive.PackFiles(nullptr, &o, dir.path(), {std::string("a.txt")}), 0);
    EXPECT_EQ(ReadAll(dir / "b.nar").substr(0, 4), "PK\x03\x04");
}

TEST_F(ArchiveFileTest, CreateCommandOfTheJob) {
    TempDir dir;
    dir.write("a.txt", "a");
    dir.write("ghost/master/updates2.dau", "u");
    RegisterArchiverLibrary("ZIP32J.DLL", [] {
        return std::make_unique<FakeLibrary>(
            std::map<std::string, void*>{{"Zip", reinterpret_cast<void*>(&fakeZip)}});
    });
    TArchiveFile archive;
    archive.SetFileName(dir / "temp.zip");
    TArchiverOptions o = jobOptions();
    const TArchiverOptions before = o;
    EXPECT_EQ(archive.PackFiles(
                  nullptr, &o, dir.path(),
                  {std::vector<std::string>{"ghost\\master\\updates2.dau", "a.txt", "a.txt", "gone.txt"}}),
              0);
    std::string expected = " -D -9 -X \"" + dir / "temp.zip" + "\" \"" + dir.path() +
                           "\" \"a.txt\" \"ghost/master/updates2.dau\" ";
    EXPECT_EQ(archive.CommandLine, expected);
    EXPECT_EQ(lastCommand, expected);
    EXPECT_TRUE(lastOutputWasNull);
    // The caller's options are never changed.
    EXPECT_EQ(o.r, before.r);
    EXPECT_EQ(o.p, before.p);
    EXPECT_EQ(o.UserOptions, before.UserOptions);
}

TEST_F(ArchiveFileTest, ALibraryThatChecksTheCommandIsAskedBeforeTheOldArchiveIsDeleted) {
    TempDir dir;
    dir.write("a.txt", "a");
    archiveSeenByZip = dir.write("temp.zip", "old archive");
    auto pack = [&](bool withCheck) {
        std::map<std::string, void*> entries = {
            {"Zip", reinterpret_cast<void*>(&fakeZipLookingForTheArchive)}};
        if (withCheck)
            entries["ZipCheckCommand"] = reinterpret_cast<void*>(&fakeCheck);
        RegisterArchiverLibrary("ZIP32J.DLL", [entries] { return std::make_unique<FakeLibrary>(entries); });
        TZip32().FreeDLL();
        lastCommand.clear();
        archiveThereForZip = true;
        TArchiveFile archive;
        archive.SetFileName(archiveSeenByZip);
        archive.SetOutputSize(64);
        TArchiverOptions o = jobOptions();
        int rc = archive.PackFiles(nullptr, &o, dir.path(), {std::vector<std::string>{"a.txt"}});
        return std::make_pair(rc, std::string(archive.Output().c_str()));
    };
    checkAnswer = ERROR_COMMAND_NAME;
    EXPECT_EQ(pack(true), std::make_pair(ERROR_COMMAND_NAME, std::string("refused")));
    EXPECT_EQ(checkedCommand, " -D -9 -X \"" + archiveSeenByZip + "\" \"" + dir.path() + "\" \"a.txt\" ");
    EXPECT_EQ(lastCommand, ""); // "Zip" was not called
    EXPECT_EQ(ReadAll(archiveSeenByZip), "old archive");
    checkAnswer = 0;
    EXPECT_EQ(pack(true).first, 0);
    EXPECT_EQ(lastCommand, checkedCommand);
    EXPECT_FALSE(archiveThereForZip); // deleted once the command passed
    // A library without the check: the old archive is deleted before "Zip" runs, as always.
    dir.write("temp.zip", "old archive");
    EXPECT_EQ(pack(false).first, 0);
    EXPECT_FALSE(archiveThereForZip);
}

TEST_F(ArchiveFileTest, TheLibraryGetsCp932BytesWithSecondBytes0x5CUntouched) {
    // ソ, 表 and 能 end in the byte of '\\': escaping, folder separators and quoting must treat them as
    // characters, which only the bytes that reach the library can show.
    TempDir dir;
    std::string base = dir.mkdir("ソ");
    dir.write("ソ/ソ表/能.txt", "a");
    dir.write("ソ/-[ソ].txt", "b");
    RegisterArchiverLibrary("ZIP32J.DLL", [] {
        return std::make_unique<FakeLibrary>(
            std::map<std::string, void*>{{"Zip", reinterpret_cast<void*>(&fakeZip)}});
    });
    TArchiveFile archive;
    archive.SetFileName(base + "/temp.zip");
    TArchiverOptions o = jobOptions();
    ASSERT_EQ(archive.PackFiles(nullptr, &o, base, {std::vector<std::string>{"ソ表\\能.txt", "-[ソ].txt"}}),
              0);
    std::string folder = dir.path() + "\x83\x5C"; // the base folder as the library sees it
    EXPECT_EQ(lastCommand, " -D -9 -X \"" + folder + "/temp.zip\" \"" + folder + NativeSep +
                               "\" \"[-][[]\x83\x5C].txt\" \"\x83\x5C\x95\x5C/\x94\x5C.txt\" ");
}

TEST_F(ArchiveFileTest, OnlyTheStandInCreatorGivesTheRuCommandWithoutFolder) {
    TempDir dir;
    dir.write("a.txt", "a");
    UnregisterArchiverLibrary("ZIP32J.DLL");
    RegisterArchiverLibrary("LMZIP32.DLL", [] {
        return std::make_unique<FakeLibrary>(
            std::map<std::string, void*>{{"Zip", reinterpret_cast<void*>(&fakeZip)}});
    });
    TArchiveFile archive;
    archive.SetFileName(dir / "temp.zip");
    TArchiverOptions o;
    archive.PackFiles(nullptr, &o, dir.path(), {std::string("a.txt")});
    EXPECT_EQ(lastCommand, "-ru  \"" + dir / "temp.zip" + "\" \"a.txt\" ");
}

TEST_F(ArchiveFileTest, MissingCreatorLibraryAndEntry) {
    TempDir dir;
    dir.write("a.txt", "a");
    std::string old = dir.write("temp.zip", "old archive");
    UnregisterArchiverLibrary("ZIP32J.DLL");
    {
        TArchiveFile archive;
        archive.SetFileName(old); // ZIP loading itself never fails
        TArchiverOptions o;
        try {
            archive.PackFiles(nullptr, &o, dir.path(), {std::string("a.txt")});
            FAIL();
        } catch (const EArchiver& e) {
            EXPECT_STREQ(e.what(), "ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。");
        }
    }
    TZip32().FreeDLL();
    RegisterArchiverLibrary("ZIP32J.DLL",
                            [] { return std::make_unique<FakeLibrary>(std::map<std::string, void*>{}); });
    TArchiveFile archive;
    archive.SetFileName(old);
    TArchiverOptions o;
    try {
        archive.PackFiles(nullptr, &o, dir.path(), {std::string("a.txt")});
        FAIL();
    } catch (const EEntryNotFound& e) {
        EXPECT_STREQ(e.what(), "Zip のエントリが DLL に見つかりませんでした。");
    }
    EXPECT_EQ(ReadAll(old), "old archive"); // raised before the old archive is deleted
}

TEST_F(ArchiveFileTest, OtherFormatsNeedTheirLibraries) {
    TempDir dir;
    TArchiveFile archive;
    archive.SetFileName(dir / "keep.zip");
    try {
        archive.SetFileName(dir / "x.lzh");
        FAIL();
    } catch (const ENoArchiverDLL& e) {
        EXPECT_STREQ(e.what(), "LHA 形式書庫 を扱うには UNLHA32.DLL が 必要です。");
    }
    EXPECT_EQ(archive.FileName(), dir / "keep.zip"); // name, type and archiver survive
    EXPECT_EQ(archive.ArchiverType(), atZip);
    EXPECT_THROW(archive.SetArchiverType(atRar), ENoArchiverDLL);
    try {
        archive.SetArchiverType(atYz1);
        FAIL();
    } catch (const EArchiver& e) {
        EXPECT_STREQ(e.what(), "Yz1 形式書庫を扱うには YYZ32.DLL か YZ1.DLL が必要です。");
    }
}

TEST_F(ArchiveFileTest, NothingCollectedLeavesTheOldArchive) {
    TempDir dir;
    std::string old = dir.write("temp.zip", "old archive");
    dir.writeHidden(".hidden", "h");
    TArchiveFile archive;
    archive.SetFileName(old);
    archive.SetOutputSize(16);
    TArchiverOptions o;
    EXPECT_EQ(
        archive.PackFiles(nullptr, &o, dir.path(), {std::vector<std::string>{"missing.txt", ".hidden"}}), 0);
    EXPECT_EQ(ReadAll(old), "old archive");
    EXPECT_EQ(archive.OutputSize(), 16);
    EXPECT_EQ(archive.Output()[0], '\0');
}

TEST_F(ArchiveFileTest, ProgressReportsEveryNameAndCanAbort) {
    TempDir dir;
    dir.write("a.txt", "a");
    dir.write("b.txt", "b");
    std::string old = dir.write("temp.zip", "old archive");
    TArchiveFile archive;
    archive.SetFileName(old);
    std::vector<std::string> reported;
    archive.OnProgress = [&](TArchiveFile&, int state, void* info, bool& abort) {
        EXPECT_EQ(state, 0x0805);
        reported.push_back(static_cast<ExtractingInfoEx*>(info)->szSourceFileName);
        abort = reported.size() == 2;
    };
    EXPECT_EQ(archive.PackFiles(nullptr, nullptr, dir.path(), {std::vector<std::string>{"b.txt", "a.txt"}}),
              0x8020);
    EXPECT_EQ(reported, (std::vector<std::string>{"b.txt", "a.txt"}));
    EXPECT_EQ(ReadAll(old), "old archive");
}

namespace {

// A stand-in RAR library that records how the component drives it.
struct RarCalls {
    void* enumProc = nullptr;
    uint32_t recordSize = 0;
    void* ownerWindow = nullptr;
    int cleared = 0, killed = 0;
} rar;

extern "C" int rarSetEnum(void* proc, uint32_t size) {
    rar.enumProc = proc;
    rar.recordSize = size;
    return 1;
}
extern "C" int rarClearEnum() {
    return ++rar.cleared;
}
extern "C" int rarSetOwner(void* window, void*) {
    rar.ownerWindow = window;
    return 1;
}
extern "C" int rarKillOwner(void*) {
    return ++rar.killed;
}

void registerFakeRar() {
    rar = RarCalls{};
    RegisterArchiverLibrary("UNRAR32.DLL", [] {
        return std::make_unique<FakeLibrary>(
            std::map<std::string, void*>{
                {"UnrarSetEnumMembersProc64", reinterpret_cast<void*>(&rarSetEnum)},
                {"UnrarClearEnumMembersProc64", reinterpret_cast<void*>(&rarClearEnum)},
                {"UnrarSetOwnerWindowEx", reinterpret_cast<void*>(&rarSetOwner)},
                {"UnrarKillOwnerWindowEx", reinterpret_cast<void*>(&rarKillOwner)}},
            "/fake/UNRAR32.DLL");
    });
}

} // namespace

TEST_F(ArchiveFileTest, HooksAreUndoneEvenWhenTheFormatCannotPack) {
    TempDir dir;
    dir.write("a.txt", "a");
    registerFakeRar();
    TFormatArchiver::Dll(atRar).FreeDLL();
    TArchiveFile archive;
    archive.SetFileName(dir / "x.rar");
    int progressCalls = 0;
    archive.OnProgress = [&](TArchiveFile&, int, void*, bool&) { ++progressCalls; };
    try {
        archive.PackFiles(nullptr, nullptr, dir.path(), {std::string("a.txt")});
        FAIL() << "RAR archives cannot be made";
    } catch (const EArchiver& e) {
        EXPECT_STREQ(e.what(), "この形式では書庫ファイルの作成をサポートしておりません。");
    }
    EXPECT_NE(rar.enumProc, nullptr); // named streams are included by default, so members are enumerated
    EXPECT_EQ(rar.recordSize, 1094u);
    EXPECT_EQ(rar.ownerWindow, &archive);
    EXPECT_EQ(rar.cleared, 1);
    EXPECT_EQ(rar.killed, 1);
    // A library's progress message for that window reaches the component's handler.
    int before = progressCalls;
    EXPECT_EQ(ArchiverWindowMessage(rar.ownerWindow, 0, nullptr), 0);
    EXPECT_EQ(progressCalls, before + 1);
    try {
        TFormatArchiver::Dll(atRar).CheckArchive(dir / "x.rar", 16);
        FAIL();
    } catch (const EEntryNotFound& e) {
        EXPECT_STREQ(e.what(), "/fake/UNRAR32.DLL に UnrarCheckArchive のエントリが見つかりません。");
    }
    TFormatArchiver::Dll(atRar).FreeDLL();
}

TEST_F(ArchiveFileTest, ArchiverFilterHandsTheNamesOverUnexpanded) {
    TempDir dir;
    dir.write("a.txt", "a");
    RegisterArchiverLibrary("ZIP32J.DLL", [] {
        return std::make_unique<FakeLibrary>(
            std::map<std::string, void*>{{"Zip", reinterpret_cast<void*>(&fakeZip)}});
    });
    TArchiveFile archive;
    archive.SetFileName(dir / "temp.zip");
    archive.Options.PackFilter = pfArchiver;
    archive.Options.r = 1;
    EXPECT_EQ(archive.PackFiles(nullptr, nullptr, dir.path(), {std::string("*.txt"), std::string("missing")}),
              0);
    EXPECT_EQ(lastCommand,
              " -D -r  \"" + dir / "temp.zip" + "\" \"" + dir.path() + "\" \"*.txt\" \"missing\" ");
}
