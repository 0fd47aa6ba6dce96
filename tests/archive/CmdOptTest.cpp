#include "archive/CmdOpt.h"
#include "archive/Archiver.h"
#include "archive/Zip32.h"
#include "platform/Errors.h"
#include "platform/Paths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(CmdOpt, QuotedSwitchesInBothStyles) {
    TCmdOpt b;
    b.AddQuoted("o", "dir");
    EXPECT_EQ(b.Text, " \"-odir\"");
    b.Text.clear();
    b.AddQuoted(" o", "dir");
    EXPECT_EQ(b.Text, " \"odir\"");
    b.Text.clear();
    b.QuotingStyle = true;
    b.AddQuoted("o", "dir");
    EXPECT_EQ(b.Text, " -o \"dir\"");
    b.Text.clear();
    b.AddQuoted("o", NotSetMarker);
    b.AddQuoted("", "");
    EXPECT_EQ(b.Text, " \"\""); // the NUL marker adds nothing, the empty text is quoted
}

TEST(CmdOpt, NumbersFlagsAndOptions) {
    TCmdOpt b;
    b.AddNumber("a", -1);
    b.AddNumber("", 9);
    b.AddNumber("", 0);
    b.AddFlag("D", true);
    b.AddFlag("S", false);
    b.AddOption("");
    EXPECT_EQ(b.Text, " -9 -0 -D ");
}

TEST(CmdOpt, FoldersGetOneTrailingSeparator) {
    TCmdOpt b;
    b.AddDir("", "C:\\g");
    b.AddDir("", "C:\\g\\");
    b.AddDir("", "/g/");
    b.AddDir("", "");
    b.AddDir("", NotSetMarker);
    const std::string sep(1, NativeDelimiter); // what a folder without one gets
    EXPECT_EQ(b.Text, " \"C:\\g" + sep + "\" \"C:\\g\\\" \"/g/\"");
}

TEST(CmdOpt, ResponseFileHoldsQuotedEscapedNamesInShiftJis) {
    TempDir dir;
    TCmdOpt b;
    b.NameEscape = &TZip32::EscapeName;
    std::string file = dir / "list.txt";
    EXPECT_EQ(b.AddResponseFile({std::vector<std::string>{"a", "", "dir\\ソ.txt"}}, file), 2);
    EXPECT_EQ(ReadAll(file), "\"a\"\r\n\"dir/\x83\x5C.txt\"\r\n");
    EXPECT_EQ(b.Text, " \"@" + file + "\"");
    EXPECT_THROW(b.AddResponseFile({std::string("a")}, dir / "missing/list.txt"), EFileError);
}

TEST(ZipNameEscape, HyphensBracketsAndSeparators) {
    EXPECT_EQ(TZip32::EscapeName("-x.txt"), "[-]x.txt");
    EXPECT_EQ(TZip32::EscapeName("a[1].txt"), "a[[]1].txt");
    EXPECT_EQ(TZip32::EscapeName("dir\\b.txt"), "dir/b.txt");
    EXPECT_EQ(TZip32::EscapeName("x-y"), "x-y");
    EXPECT_EQ(TZip32::EscapeName("-[a]\\-"), "[-][[]a]/-");
}

TEST(ArchiverHelpers, NamesThenUserFileList) {
    TempDir dir;
    TArchiverOptions o;
    o.UserFileList = "extra";
    TCmdOpt b;
    TArchiver::AddArchiveAndFolder(b, "/g/temp.zip", "/g");
    EXPECT_EQ(TArchiver::AddNames(b, o, true, {std::string("a.txt")}), 1); // no ResFileName: names inline
    EXPECT_EQ(b.Text, " \"/g/temp.zip\" \"/g" + std::string(1, NativeDelimiter) + "\" \"a.txt\" extra");
    o.ResFileName = dir / "r.txt";
    TCmdOpt r;
    TArchiver::AddNames(r, o, true, {std::string("a.txt")});
    EXPECT_EQ(r.Text, " \"@" + o.ResFileName + "\" extra");
}
