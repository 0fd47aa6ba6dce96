// What only the Windows build does: the system's own CP932 table, wide paths, attributes, the atomic
// replace, sharing and the user's date and time formats. Run under wine by scripts/windows/test.
#include "archive/CollectFiles.h"
#include "platform/Clock.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/NamedStreams.h"
#include "platform/Paths.h"
#include "platform/WindowsText.h"
#include "support/ReferenceMd5.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/UserDateFormats.h"
#include "updatelist/GetFileList.h"
#include "updatelist/MD5.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

DWORD attributes(const std::string& path) {
    return GetFileAttributesW(WideText(path).c_str());
}

void addAttributes(const std::string& path, DWORD added) {
    ASSERT_TRUE(SetFileAttributesW(WideText(path).c_str(), attributes(path) | added)) << path;
}

} // namespace

TEST(WindowsCp932, TheSystemTableIsUsedStrictly) {
    // 〜 U+301C has only a best-fit form in Windows' table (81 60 belongs to ～ U+FF5E): refused, as are ¥
    // (best fit: the path separator 5C) and ‾ (best fit: '~').
    std::string out;
    EXPECT_FALSE(TryUtf8ToCp932("〜.txt", out));
    EXPECT_EQ(Utf8ToCp932("～.txt"), "\x81\x60.txt");
    EXPECT_EQ(Cp932ToUtf8("\x81\x60"), "～");
    for (const char* name : {"a¥b", "‾", "¥"}) {
        EXPECT_FALSE(TryUtf8ToCp932(name, out)) << name;
        EXPECT_EQ(Utf8ToCp932Lossy(name).find('\\'), std::string::npos) << name;
    }
    // Double-byte forms whose second byte is 5C, and the half-width katakana, as the table has them.
    EXPECT_EQ(Utf8ToCp932("表ソ能ﾐｸ"), "\x95\x5C\x83\x5C\x94\x5C\xD0\xB8");
    EXPECT_EQ(Cp932ToUtf8("\x95\x5C\x83\x5C\x94\x5C\xD0\xB8"), "表ソ能ﾐｸ");
    // The NEC and IBM extensions decode and encode; a byte pair that is no character stays undecodable.
    EXPECT_EQ(Cp932ToUtf8("\x87\x40\xFA\x40"), "①ⅰ");
    EXPECT_EQ(Utf8ToCp932("①"), "\x87\x40");
    EXPECT_FALSE(IsValidCp932("\x85\x40"));
    EXPECT_EQ(Cp932ToUtf8("a\x85\x40z"), "a\xEF\xBF\xBD@z");
}

TEST(WindowsCp932, BytesThatAreNoShiftJisCharacterStayBytes) {
    // Windows' table maps 80, A0 and FD to FF to characters of their own; the program keeps them as the
    // undecodable bytes they are in Shift_JIS, the same on every system.
    for (const char* bad : {"\x80", "\xA0", "\xFD", "\xFE", "\xFF"}) {
        EXPECT_FALSE(IsValidCp932(bad)) << static_cast<int>(static_cast<unsigned char>(bad[0]));
        EXPECT_EQ(Cp932ToUtf16(bad, false), std::string(1, bad[0]) + "\xDC");
    }
    std::string out;
    EXPECT_FALSE(TryUtf8ToCp932("\xC2\x80", out));     // U+0080
    EXPECT_FALSE(TryUtf8ToCp932("\xEF\xA3\xB0", out)); // U+F8F0
}

TEST(WindowsPaths, AFolderOutsideTheCodePageWorksThroughout) {
    // A base folder that no ANSI code page holds (C:\Users\Renée\... with Chinese and an emoji); only the
    // names inside it need a CP932 form.
    TempDir dir;
    const std::string base = dir.mkdir("Renée 中文 😀") + "/";
    const std::string file = base + "ghost表.txt";
    WriteFileAtomic(file, "data\r\n");
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(DirectoryExists(base));
    EXPECT_EQ(FileSize(file), 6);
    EXPECT_EQ(ReadFileBytes(file), "data\r\n");
    EXPECT_EQ(MD5File(file), ReferenceMd5("data\r\n"));
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(base, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "ghost表.txt");
    EXPECT_EQ(GetFileList(base + "*.txt"), std::vector<std::string>{file});
    RenameFile(file, base + "moved.txt");
    EXPECT_FALSE(FileExists(file));
    EXPECT_EQ(ReadFileBytes(base + "moved.txt"), "data\r\n");
    EXPECT_TRUE(CreateDir(base + "サブ"));
    EXPECT_TRUE(DirectoryExists(base + "サブ"));
    EXPECT_NE(ExpandFileName(base + "moved.txt").find("Renée 中文 😀"), std::string::npos);
}

TEST(WindowsPaths, TheProgramsOwnPathIsItsExecutable) {
    const std::string self = ExecutablePath();
    EXPECT_TRUE(SameFileName(ExtractFileName(self), "quillon_tests.exe")) << self;
    EXPECT_TRUE(FileExists(self));
    EXPECT_TRUE(SameFileName(ExtractFileName(ChangeFileExt(self, ".ini")), "quillon_tests.ini"));
}

TEST(WindowsFiles, HiddenAndSystemFilesGoByTheirAttribute) {
    TempDir dir;
    dir.write(".dotted.txt", "d");
    addAttributes(dir.write("hidden.txt", "h"), FILE_ATTRIBUTE_HIDDEN);
    addAttributes(dir.write("system.txt", "s"), FILE_ATTRIBUTE_SYSTEM);
    dir.write("plain.txt", "p");
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(dir.path(), entries));
    for (const DirEntry& e : entries)
        EXPECT_EQ(e.hidden, e.name == "hidden.txt" || e.name == "system.txt") << e.name;
    FileInfo info;
    ASSERT_TRUE(GetFileInfo(dir / "hidden.txt", info));
    EXPECT_TRUE(info.hidden);
    ASSERT_TRUE(GetFileInfo(dir / ".dotted.txt", info));
    EXPECT_FALSE(info.hidden);
    // A leading dot is an ordinary name on Windows: listed; the hidden file is not, even by its name.
    EXPECT_EQ(GetFileList(dir / "*.txt"), (std::vector<std::string>{dir / ".dotted.txt", dir / "plain.txt"}));
    EXPECT_TRUE(GetFileList(dir / "hidden.txt").empty());
}

TEST(WindowsFiles, AnAtomicSaveKeepsTheFilesAttributesAndLeavesReadOnlyAlone) {
    TempDir dir;
    const std::string file = dir.write("quillon.ini", "old");
    addAttributes(file, FILE_ATTRIBUTE_HIDDEN);
    WriteFileAtomic(file, "new");
    EXPECT_EQ(ReadFileBytes(file), "new");
    EXPECT_TRUE(attributes(file) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(RemoveLeftoverTemporaries(file), 0);

    const std::string locked = dir.write("locked.ini", "keep");
    addAttributes(locked, FILE_ATTRIBUTE_READONLY);
    EXPECT_THROW(WriteFileAtomic(locked, "lost"), EFileError);
    EXPECT_EQ(ReadFileBytes(locked), "keep");
    SetFileAttributesW(WideText(locked).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsFiles, ATemporaryAWriterStillHoldsIsNotTakenForALeftover) {
    TempDir dir;
    const std::string file = dir / "quillon.ini";
    dir.write("quillon.ini.tmp123", "killed");
    HANDLE held = CreateFileW(WideText(dir / "quillon.ini.tmp456").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RemoveLeftoverTemporaries(file), 1);
    EXPECT_FALSE(FileExists(dir / "quillon.ini.tmp123"));
    EXPECT_TRUE(FileExists(dir / "quillon.ini.tmp456"));
    CloseHandle(held);
}

TEST(WindowsFiles, AFileAnotherProgramWritesHasNoDigestYet) {
    // Digests open files shared for reading only: a file held open for writing is not read half-written.
    TempDir dir;
    const std::string file = dir.write("ghost.dic", "words");
    EXPECT_EQ(MD5File(file), ReferenceMd5("words"));
    HANDLE writer = CreateFileW(WideText(file).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(MD5File(file), "");
    CloseHandle(writer);
    // A reader that lets others read does not stand in the way.
    HANDLE reader = CreateFileW(WideText(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(MD5File(file), ReferenceMd5("words"));
    CloseHandle(reader);
}

TEST(WindowsFiles, RenameNeverReplacesAndCopyCarriesTheBytes) {
    TempDir dir;
    const std::string a = dir.write("a.ini", "A"), b = dir.write("a.in_", "B");
    try {
        RenameFile(a, b);
        FAIL() << "rename replaced a file";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.code(), EEXIST);
    }
    EXPECT_EQ(ReadFileBytes(b), "B");
    EXPECT_TRUE(CopyFileTo(a, dir / "copy.ini"));
    EXPECT_EQ(ReadFileBytes(dir / "copy.ini"), "A");
    EXPECT_TRUE(AppendFileBytes(dir / "copy.ini", "+"));
    EXPECT_EQ(ReadFileBytes(dir / "copy.ini"), "A+");
    EXPECT_FALSE(AppendFileBytes(dir / "missing.log", "x"));
    EXPECT_FALSE(FileExists(dir / "missing.log"));
}

TEST(WindowsClock, DateAndTimeComeInTheUsersOwnFormats) {
    const std::tm when = LocalTime(2026, 3, 4, 5, 6, 7);
    {
        UserLocaleSetting date(LOCALE_SSHORTDATE, L"yyyy'年'M'月'd'日'");
        UserLocaleSetting time(LOCALE_STIMEFORMAT, L"H'時'mm'分'ss'秒'");
        ASSERT_TRUE(date.ok() && time.ok());
        EXPECT_EQ(FormatShortDate(when), "2026年3月4日");
        EXPECT_EQ(FormatLongTime(when), "5時06分07秒");
    }
    {
        UserLocaleSetting date(LOCALE_SSHORTDATE, L"dd/MM/yy");
        UserLocaleSetting time(LOCALE_STIMEFORMAT, L"hh:mm:ss tt");
        EXPECT_EQ(FormatShortDate(when), "04/03/26");
        EXPECT_EQ(FormatLongTime(when).substr(0, 8), "05:06:07");
    }
}

TEST(WindowsFiles, NamedStreamsArePackedAsFilesOfTheirOwnWhereTheVolumeKeepsThem) {
    TempDir dir;
    const std::string file = dir.write("a.txt", "main");
    std::vector<std::string> temporaries;
    TArchiverOptions w;
    bool abort = false;
    if (!VolumeHasNamedStreams(NativePath(file))) {
        // wine keeps no named streams (nor reads backups): a collection there finds the file alone.
        EXPECT_EQ(CollectFiles(temporaries, w, dir.path(), CollectProgress{}, {std::string("a.txt")}, abort),
                  std::vector<std::string>{"a.txt"});
        EXPECT_TRUE(temporaries.empty());
        std::printf("This volume keeps no named streams: only their absence was tested.\n");
        return;
    }
    HANDLE stream = CreateFileW(WideText(file + ":Zone.Identifier").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(stream, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(stream, "zone", 4, &written, nullptr);
    CloseHandle(stream);
    EXPECT_EQ(CollectFiles(temporaries, w, dir.path(), CollectProgress{}, {std::string("a.txt")}, abort),
              (std::vector<std::string>{"a.txt", "a.txt;Zone.Identifier;$DATA"}));
    ASSERT_EQ(temporaries.size(), 1u);
    EXPECT_EQ(ReadFileBytes(temporaries[0]), "zone");
}
