#include "platform/IniFile.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(ReadAll(path),
              "; comment\r\n[General]\r\nName=\x95\x5C\x8E\xA6\r\nOther = keep \xFF\r\nNew=1\r\n\r\n"
              "[FTP]\r\nServer=s\r\nSSL=1\r\n[Added]\r\nCount=3\r\n");
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
    IniFile plain(dir.write("utf8.ini", "[General]\nName=能\n"));
    EXPECT_EQ(plain.ReadString("General", "Name", ""), "能");
    IniFile broken(dir.write("broken.ini", "[General]\nName=a\x81\x20z\n"));
    EXPECT_EQ(broken.ReadString("General", "Name", ""), "a\xEF\xBF\xBD z");
}

TEST(IniFile, UnreadableFileReadsEmptyAndFailedWriteThrows) {
    TempDir dir;
    std::string folder = dir.mkdir("settings.ini");
    IniFile ini(folder);
    EXPECT_EQ(ini.ReadInteger("General", "SettingsCount", 4), 4);
    ini.WriteInteger("General", "SettingsCount", 1);
    EXPECT_THROW(ini.UpdateFile(), EFileError);

    IniFile missingFolder(dir / "no/such/folder/a.ini");
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
