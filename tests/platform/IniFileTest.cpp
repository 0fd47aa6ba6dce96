#include "platform/IniFile.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <cerrno>
#include <climits>
#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(IniFile, ReadsWithoutRegardToCaseAndDefaultsForMissingKeys) {
    TempDir dir;
    std::string path =
        dir.write("a.ini", "[General]\r\nName = Emily \r\nCount=0x1F\r\n[ftp]\r\nserver=host\r\n");
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("general", "NAME", "x"), "Emily");
    EXPECT_EQ(ini.ReadString("FTP", "Server", ""), "host");
    EXPECT_EQ(ini.ReadString("FTP", "ID", "none"), "none");
    EXPECT_EQ(ini.ReadString("Missing", "Server", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("General", "Count", 0), 31);
    EXPECT_TRUE(ini.SectionExists("GENERAL"));
    EXPECT_FALSE(ini.SectionExists("Other"));
}

TEST(IniFile, IntegersAndBooleans) {
    TempDir dir;
    IniFile ini(dir.write(
        "a.ini", "[S]\nyes=yes\ntwo=2\nzero=0\nneg=-7\nhexneg=0xFFFFFFFF\nbig=99999999999\nempty=\n"));
    // (Edge cases of the number syntax: IniFile.ReadIntegerTakesNumbersOnly.)
    EXPECT_FALSE(ini.ReadBool("S", "yes", false)); // not a number: the default
    EXPECT_TRUE(ini.ReadBool("S", "yes", true));
    EXPECT_TRUE(ini.ReadBool("S", "two", false));
    EXPECT_FALSE(ini.ReadBool("S", "zero", true));
    EXPECT_EQ(ini.ReadInteger("S", "neg", 0), -7);
    EXPECT_EQ(ini.ReadInteger("S", "hexneg", 0), -1);
    EXPECT_EQ(ini.ReadInteger("S", "big", 5), 5);
    EXPECT_EQ(ini.ReadInteger("S", "empty", 5), 5);
}

TEST(IniFile, QuotesAreDroppedOnlyByTheOrdinaryReader) {
    TempDir dir;
    IniFile ini(dir.write("a.ini", "[S]\nq=  \"a b\"  \nsingle='x'\nhalf=\"a\n"));
    EXPECT_EQ(ini.ReadString("S", "q", ""), "a b");
    EXPECT_EQ(ini.ReadRawString("S", "q", ""), "\"a b\"");
    EXPECT_EQ(ini.ReadString("S", "single", ""), "x");
    EXPECT_EQ(ini.ReadString("S", "half", ""), "\"a");
}

TEST(IniFile, WritingReplacesInPlaceAppendsAndKeepsTheRestByteForByte) {
    TempDir dir;
    // LF-only lines, a comment, an unknown key and a byte that is not valid CP932 must all survive.
    std::string original = "; comment\n[General]\nname=old\nOther = keep \xFF\n\n[FTP]\nServer=s\n";
    std::string path = dir.write("a.ini", original);
    IniFile ini(path);
    ini.WriteString("GENERAL", "Name", "表示");
    ini.WriteString("General", "New", "1");
    ini.WriteInteger("Added", "Count", 3);
    ini.WriteBool("FTP", "SSL", true);
    ini.UpdateFile();
    // Lines the program writes end with CR LF; the others keep their bytes, line ends included.
    EXPECT_EQ(ReadAll(path), "; comment\n[General]\nName=\x95\x5C\x8E\xA6\r\nOther = keep \xFF\nNew=1\r\n\n"
                             "[FTP]\nServer=s\nSSL=1\r\n[Added]\r\nCount=3\r\n");
    EXPECT_EQ(IniFile(path).ReadString("general", "name", ""), "表示");
}

TEST(IniFile, LongValuesSurviveWhole) {
    TempDir dir;
    std::string path = dir / "a.ini";
    std::string value(5000, 'x');
    value += "end";
    IniFile ini(path);
    ini.WriteString("S", "K", value);
    ini.UpdateFile();
    EXPECT_EQ(IniFile(path).ReadString("S", "K", ""), value);
}

TEST(IniFile, Utf8FilesAndBrokenBytesAreReadAsWellAsPossible) {
    TempDir dir;
    IniFile bom(dir.write("bom.ini", "\xEF\xBB\xBF[General]\r\nName=ソ表\r\n"));
    EXPECT_EQ(bom.ReadString("General", "Name", ""), "ソ表");
    IniFile plain(dir.write("utf8.ini", "[General]\nName=能力\n"));
    EXPECT_EQ(plain.FileEncoding(), IniFile::Encoding::Utf8);
    EXPECT_EQ(plain.ReadString("General", "Name", ""), "能力");
    // One three-byte sequence is no evidence: e8 83 bd is also the CP932 text "閭ｽ".
    IniFile one(dir.write("one.ini", "[General]\nName=能\n"));
    EXPECT_EQ(one.FileEncoding(), IniFile::Encoding::Cp932);
    // A character that CP932 cannot hold is.
    IniFile accent(dir.write("accent.ini", "[General]\nName=café\n"));
    EXPECT_EQ(accent.ReadString("General", "Name", ""), "café");
    IniFile broken(dir.write("broken.ini", "[General]\nName=a\x81\x20z\n"));
    EXPECT_EQ(broken.ReadString("General", "Name", ""), "a\xEF\xBF\xBD z");
}

TEST(IniFile, MissingFileReadsEmptyUnreadableOneThrowsAndFailedWriteThrows) {
    TempDir dir;
    IniFile missing(dir / "settings.ini");
    EXPECT_EQ(missing.ReadInteger("General", "SettingsCount", 4), 4);

    // A file that exists but cannot be read is not taken for an empty one (which a save would replace).
    std::string folder = dir.mkdir("folder.ini");
    try {
        IniFile ini(folder);
        ADD_FAILURE() << "a folder read as a settings file";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.code(), EISDIR);
    }
    std::string locked = dir.write("locked.ini", "[General]\r\nSettingsCount=1\r\n");
    UnreadableFile unreadable(locked);
    ::chmod(dir.path().c_str(), 0755);
    {
        AsUnprivilegedUser nobody;
        try {
            IniFile ini(locked);
            ADD_FAILURE() << "an unreadable file read as empty";
        } catch (const EFileError& e) {
            EXPECT_EQ(e.code(), UnreadableFile::Code);
        }
    }

    IniFile missingFolder(dir / "no/such/folder/a.ini");
    EXPECT_EQ(missingFolder.ReadString("S", "K", "d"), "d");
    missingFolder.WriteString("S", "K", "V");
    EXPECT_THROW(missingFolder.UpdateFile(), EFileError);
}

TEST(IniFile, BytesAfterANulSurviveAndStayReadable) {
    TempDir dir;
    std::string original =
        std::string("; note\0with a NUL\r\n[General]\r\nSettingsCount=2\r\n", 47) + "[1]\r\nName=after\r\n";
    std::string path = dir.write("a.ini", original);
    IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("General", "SettingsCount", 0), 2);
    EXPECT_EQ(ini.ReadString("1", "Name", ""), "after");
    ini.WriteString("1", "Name", "changed");
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(path), std::string("; note\0with a NUL\r\n[General]\r\nSettingsCount=2\r\n", 47) +
                                 "[1]\r\nName=changed\r\n");
}

TEST(IniFile, Utf16FilesAreReadAndWrittenBackAsUtf16) {
    TempDir dir;
    for (bool big : {false, true}) {
        std::string bom = big ? "\xFE\xFF" : "\xFF\xFE";
        std::string path =
            dir.write(big ? "be.ini" : "le.ini",
                      bom + Utf8ToUtf16("[General]\r\nName=ミク😀\r\nSettingsCount=1\r\n", big));
        IniFile ini(path);
        EXPECT_EQ(ini.FileEncoding(), big ? IniFile::Encoding::Utf16BE : IniFile::Encoding::Utf16LE);
        EXPECT_EQ(ini.ReadString("general", "name", ""), "ミク😀");
        EXPECT_EQ(ini.ReadInteger("General", "SettingsCount", 0), 1);
        ini.WriteString("General", "Other", "表");
        ini.UpdateFile();
        EXPECT_EQ(ReadAll(path),
                  bom + Utf8ToUtf16("[General]\r\nName=ミク😀\r\nSettingsCount=1\r\nOther=表\r\n", big));
    }
}

TEST(IniFile, Cp932ThatIsAlsoValidUtf8StaysCp932) {
    TempDir dir;
    // ﾐｸ is D0 B8 in CP932, which is also the UTF-8 form of U+0438.
    std::string original = "[0]\r\nName=\xD0\xB8\r\nTargetFolder=C:\\\xD0\xB8\\\r\n";
    std::string path = dir.write("a.ini", original);
    IniFile ini(path);
    EXPECT_EQ(ini.FileEncoding(), IniFile::Encoding::Cp932);
    EXPECT_EQ(ini.ReadString("0", "Name", ""), "ﾐｸ");
    EXPECT_EQ(ini.ReadString("0", "TargetFolder", ""), "C:\\ﾐｸ\\");
    ini.WriteString("0", "Name", "ﾐｸ");
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(path), original);

    // Three-byte sequences are UTF-8 (CP932 text practically never forms them), with or without a BOM,
    // and such a file stays UTF-8.
    std::string utf8 = dir.write("u.ini", "[0]\r\nName=初音\r\n");
    IniFile u(utf8);
    EXPECT_EQ(u.FileEncoding(), IniFile::Encoding::Utf8);
    EXPECT_EQ(u.ReadString("0", "Name", ""), "初音");
    u.WriteString("0", "Name", "ﾐｸ");
    u.UpdateFile();
    EXPECT_EQ(ReadAll(utf8), "[0]\r\nName=ﾐｸ\r\n");
    std::string bomFile = dir.write("b.ini", "\xEF\xBB\xBF[0]\r\nName=x\r\n");
    IniFile b(bomFile);
    b.WriteString("0", "Name", "能");
    b.UpdateFile();
    EXPECT_EQ(ReadAll(bomFile), "\xEF\xBB\xBF[0]\r\nName=能\r\n");
}

TEST(IniFile, AValueCp932CannotHoldTurnsTheFileIntoUtf16) {
    TempDir dir;
    std::string path = dir.write("a.ini", "[0]\r\nName=\x95\x5C\r\nProcessName=a.txt\r\n");
    IniFile ini(path);
    ini.WriteString("0", "ProcessName", "😀.txt,¥.txt");
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(path),
              "\xFF\xFE" + Utf8ToUtf16("[0]\r\nName=表\r\nProcessName=😀.txt,¥.txt\r\n", false));
    IniFile again(path);
    EXPECT_EQ(again.ReadString("0", "ProcessName", ""), "😀.txt,¥.txt");
    EXPECT_EQ(again.ReadString("0", "Name", ""), "表");
}

TEST(IniFile, EraseSectionRemovesItsLinesOnly) {
    TempDir dir;
    std::string path = dir.write("a.ini", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n\r\n[C]\r\nz=3\r\n");
    IniFile ini(path);
    ini.EraseSection("b");
    ini.EraseSection("missing");
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(path), "[A]\r\nx=1\r\n[C]\r\nz=3\r\n");
}

TEST(IniFile, ReadIntegerTakesNumbersOnly) {
    struct Case {
        const char* text;
        int expected; // 77 stands for the default
    };
    const Case cases[] = {
        {"5", 5},
        {"+5", 5},
        {"-5", -5},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$1F", 31},
        {"-0x10", -16},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"0xFFFFFFFF", -1},
        {"0x80000000", INT_MIN},
        {"-0x80000000", INT_MIN},
        {"007", 7},
        // Not numbers, or too large: the default, and no undefined behaviour on the way.
        {"-\v-9223372036854775808", 77},
        {"-9223372036854775808", 77},
        {"-\v5", 77},
        {"- 5", 77},
        {"+-5", 77},
        {"--5", 77},
        {"-+5", 77},
        {"\v5", 77},
        {"5\v", 77},
        {"5 6", 77},
        {"5x", 77},
        {"0x", 77},
        {"0x-1", 77},
        {"0x 1", 77},
        {"-0x", 77},
        {"$", 77},
        {"-", 77},
        {"+", 77},
        {"2147483648", 77},
        {"-2147483649", 77},
        {"0x100000000", 77},
        {"-0xFFFFFFFF", 77},
        {"99999999999999999999999999", 77},
        {"0x999999999999999999999", 77},
        {"1e3", 77},
        {"１", 77},
        {"\"-\"", 77},
        {"5\t", 5},
        {" 6", 6},
    };
    TempDir dir;
    std::string text = "[S]\r\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        text += "k" + std::to_string(i) + "=" + cases[i].text + "\r\n";
    IniFile ini(dir.write("n.ini", text));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.ReadInteger("S", "k" + std::to_string(i), 77), cases[i].expected)
            << "\"" << cases[i].text << "\"";
}

namespace {

// The seven characters whose CP932 form (shared with another character) reads back as that other one.
const char* const SevenCharacters[] = {"¢", "£", "¬", "—", "‖", "−", "〜"};

} // namespace

TEST(IniFile, EveryValueComesBackAsWrittenAlsoTheSevenCharactersCp932Changes) {
    for (const char* c : SevenCharacters) {
        TempDir dir;
        // An ordinary CP932 file with a Japanese name in it.
        std::string path = dir.write("a.ini", "[0]\r\nName=\x95\x5C\r\n");
        const std::string name = std::string("ghost") + c, folder = std::string("/home/u/") + c + "ghost/",
                          pattern = std::string(c) + ".txt," + c + "/*", password = std::string("pw") + c;
        {
            IniFile ini(path);
            ini.WriteString("0", "Name", name);
            ini.WriteString("0", "TargetFolder", folder);
            ini.WriteString("0", "ProcessName", pattern);
            ini.WriteString("0", "Password", password);
            ini.UpdateFile();
        }
        IniFile again(path);
        EXPECT_EQ(again.FileEncoding(), IniFile::Encoding::Utf16LE) << c;
        EXPECT_EQ(again.ReadString("0", "Name", ""), name);
        EXPECT_EQ(again.ReadString("0", "TargetFolder", ""), folder);
        EXPECT_EQ(again.ReadRawString("0", "ProcessName", ""), pattern);
        EXPECT_EQ(again.ReadString("0", "Password", ""), password);
        // The text that was there before is unchanged too.
        EXPECT_EQ(again.ReadString("0", "Name", ""), name);
    }
    // ～ (U+FF5E), the character that 81 60 stands for, stays CP932.
    TempDir dir;
    std::string path = dir.write("b.ini", "[0]\r\nName=x\r\n");
    IniFile ini(path);
    ini.WriteString("0", "Name", "～");
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(path), "[0]\r\nName=\x81\x60\r\n");
}

TEST(IniFile, UndecodableBytesSurviveTheConversionToUtf16) {
    TempDir dir;
    // 80, A0, FD-FF are no CP932 at all; 81 followed by a blank is a lead byte without its second byte.
    std::string original = "; \x80\xA0\xFD\xFE\xFF\r\n[0]\r\nName=a\x81 b\r\nOther=\x95\x5C\r\n";
    std::string path = dir.write("a.ini", original);
    {
        IniFile ini(path);
        EXPECT_EQ(ini.ReadString("0", "Name", ""), "a\xEF\xBF\xBD b");
        // Writing back what was read leaves the line (and the file) as it was.
        ini.WriteString("0", "Name", ini.ReadString("0", "Name", ""));
        ini.UpdateFile();
        EXPECT_EQ(ReadAll(path), original);
        ini.WriteString("0", "Path", "〜");
        ini.UpdateFile();
    }
    std::string expected = "\xFF\xFE" + Utf8ToUtf16("; ", false) +
                           std::string("\x80\xDC\xA0\xDC\xFD\xDC\xFE\xDC\xFF\xDC", 10) +
                           Utf8ToUtf16("\r\n[0]\r\nName=a", false) + std::string("\x81\xDC", 2) +
                           Utf8ToUtf16(" b\r\nOther=表\r\nPath=〜\r\n", false);
    EXPECT_EQ(ReadAll(path), expected);
    IniFile again(path);
    EXPECT_EQ(again.ReadString("0", "Path", ""), "〜");
    EXPECT_EQ(again.ReadString("0", "Other", ""), "表");
}

TEST(IniFile, AUtf16FileWithALoneSurrogateAndAnOddLastByteIsKeptByteForByte) {
    TempDir dir;
    for (bool big : {false, true}) {
        std::string bom = big ? "\xFE\xFF" : "\xFF\xFE";
        std::string lone = big ? std::string("\xD8\x3D", 2) : std::string("\x3D\xD8", 2); // U+D83D alone
        std::string original =
            bom + Utf8ToUtf16("[0]\r\nName=a", big) + lone + Utf8ToUtf16("b\r\nX=1\r\n", big) + "Z";
        std::string path = dir.write(big ? "be.ini" : "le.ini", original);
        {
            IniFile ini(path);
            EXPECT_EQ(ini.ReadString("0", "Name", ""), "a\xEF\xBF\xBD"
                                                       "b");
            ini.WriteString("0", "Name", ini.ReadString("0", "Name", "")); // as read: nothing changes
            ini.UpdateFile();
        }
        EXPECT_EQ(ReadAll(path), original);
        {
            IniFile ini(path);
            ini.WriteString("0", "X", "2");
            ini.UpdateFile();
        }
        EXPECT_EQ(ReadAll(path),
                  bom + Utf8ToUtf16("[0]\r\nName=a", big) + lone + Utf8ToUtf16("b\r\nX=2\r\n", big) + "Z");
    }
}

namespace {

// A literal's bytes, NUL bytes included.
template <size_t N> std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

} // namespace

TEST(IniFile, ASaveThatWritesNothingChangesNoByte) {
    TempDir dir;
    const std::string files[] = {
        bytes("; \0x\n[General]\rName = a \n\n[1]\r\nK=\x81\x20\x80"),
        "\xEF\xBB\xBF[0]\nName=\xFF\xFE\n",
        "[0]\r\nName=能力",
        "\xFF\xFE" + Utf8ToUtf16("[0]\nName=ミク", false),
    };
    for (size_t i = 0; i < std::size(files); ++i) {
        std::string path = dir.write("f" + std::to_string(i) + ".ini", files[i]);
        IniFile ini(path);
        ini.UpdateFile();
        EXPECT_EQ(ReadAll(path), files[i]) << i;
    }
}

TEST(IniFile, AFileWithoutALastLineEndGetsOneOnlyWhenLinesFollow) {
    TempDir dir;
    std::string path = dir.write("a.ini", "[A]\nx=1");
    IniFile ini(path);
    ini.WriteString("A", "y", "2");
    ini.WriteString("B", "z", "3");
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(path), "[A]\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
}

TEST(IniFile, TheProgramNeverWritesAFileItsReaderTakesForAnotherEncoding) {
    TempDir dir;
    // e3 81 89 40 is "縺院" in CP932 and "ぉ@" in UTF-8: one sequence is not enough to take it for UTF-8.
    std::string one = dir.write("one.ini", "[0]\r\nName=\xE3\x81\x89\x40\r\n");
    EXPECT_EQ(IniFile(one).FileEncoding(), IniFile::Encoding::Cp932);
    EXPECT_EQ(IniFile(one).ReadString("0", "Name", ""), "縺院");

    // The program writes such text into an ASCII file: what it writes reads back as written.
    for (const char* value : {"縺院", "縺院縺院", "縺院 and 縺院"}) {
        std::string path = dir.write("w.ini", "[0]\r\nName=x\r\n");
        {
            IniFile ini(path);
            ini.WriteString("0", "Name", value);
            ini.UpdateFile();
        }
        IniFile again(path);
        EXPECT_EQ(again.ReadString("0", "Name", ""), value);
        EXPECT_NE(again.FileEncoding(), IniFile::Encoding::Utf8) << value;
    }

    // A UTF-8 file without byte-order mark that loses its evidence keeps its text: it gets a BOM.
    std::string utf8 = dir.write("u.ini", "[0]\r\nName=初音\r\nOther=и\r\n");
    {
        IniFile ini(utf8);
        EXPECT_EQ(ini.FileEncoding(), IniFile::Encoding::Utf8);
        ini.WriteString("0", "Name", "miku");
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadAll(utf8), "\xEF\xBB\xBF[0]\r\nName=miku\r\nOther=и\r\n");
    EXPECT_EQ(IniFile(utf8).ReadString("0", "Other", ""), "и");
}

TEST(IniFile, SectionCountCountsSectionLines) {
    TempDir dir;
    EXPECT_EQ(IniFile(dir.write("a.ini", "x=1\r\n[A]\r\n[B]\r\n; [C]\r\n[a]\r\n")).SectionCount(), 3u);
    EXPECT_EQ(IniFile(dir / "missing.ini").SectionCount(), 0u);
}

TEST(IniFile, ValuesWithBlanksAtTheEndsOrInQuotesComeBackAsWritten) {
    TempDir dir;
    std::string path = dir / "q.ini";
    const std::string values[] = {" pw", "pw ", "\t",  " ",    "\"secret\"", "'x'",
                                  "\"",  "\"a", "a\"", "\"\"", "",           "a \"b\" c"};
    {
        IniFile ini(path);
        for (size_t i = 0; i < std::size(values); ++i)
            ini.WriteString("S", "k" + std::to_string(i), values[i]);
        ini.WriteRawString("S", "raw", "\"my file.txt\"");
        ini.UpdateFile();
    }
    IniFile again(path);
    for (size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(again.ReadString("S", "k" + std::to_string(i), "?"), values[i]) << "[" << values[i] << "]";
    EXPECT_EQ(again.ReadRawString("S", "raw", ""), "\"my file.txt\"");
    // What Windows' profile functions read too: the outer quotes are theirs to strip.
    std::string text = ReadAll(path);
    EXPECT_NE(text.find("k0=\" pw\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("k4=\"\"secret\"\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("k6=\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("raw=\"my file.txt\"\r\n"), std::string::npos);
}
