#include "updatelist/Updates2dau.h"
#include "platform/Errors.h"
#include "support/TempDir.h"
#include "updatelist/MD5.h"

#include <gtest/gtest.h>

namespace {

TUpdates2dau built(const TempDir& dir, const std::string& patterns, const std::string& excludes = "") {
    TUpdates2dau list;
    list.BaseFolder = dir.path();
    list.Build(patterns, excludes);
    return list;
}

} // namespace

TEST(Updates2dau, WritesTheExactFileFormat) {
    TempDir dir;
    dir.write("delete.txt", "x");
    dir.write("ghost/master/a.dic", "dic");
    TUpdates2dau list = built(dir, "delete.txt\r\nghost/master/*.dic\r\n");
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list[1].RelativePath, "ghost\\master\\a.dic");
    EXPECT_EQ(list[1].FullPath, dir / "ghost\\master\\a.dic");
    std::string out = dir / "updates2.dau";
    list.SaveToFile(out);
    EXPECT_EQ(ReadAll(out), "delete.txt\x01" + MD5String("x") + "\x01\r\nghost/master/a.dic\x01" +
                                MD5String("dic") + "\x01\r\n");
    EXPECT_EQ(list.GetFileListText(), "delete.txt\r\nghost\\master\\a.dic\r\n");

    TUpdates2dau empty;
    empty.SaveToFile(out);
    EXPECT_EQ(ReadAll(out), "");
}

TEST(Updates2dau, ReadsLfOnlyAndUnterminatedFilesCompletely) {
    TUpdates2dau list;
    const std::string sep = "\x01";
    list.SetText("a.txt" + sep + "d1" + sep + "\nb.txt" + sep + "d2" + sep + "\rc.txt" + sep + sep +
                 "\r\nd.txt" + sep + "d4" + sep);
    ASSERT_EQ(list.Count(), 4u);
    EXPECT_EQ(list[1].FileName, "b.txt");
    EXPECT_EQ(list[1].Digest, "d2");
    EXPECT_EQ(list[2].Digest, ""); // an empty digest field is no error
    EXPECT_EQ(list[3].FileName, "d.txt");
    EXPECT_EQ(list[3].FullPath, "");
}

TEST(Updates2dau, ThirdFieldIsIgnored) {
    TUpdates2dau list;
    list.SetText("a.txt\x01"
                 "abc\x01more\x01\r\n");
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list[0].Digest, "abc");
}

TEST(Updates2dau, BadLineFailsAndKeepsTheEntriesBeforeIt) {
    for (const char* bad : {"", "no separator", "name only\x01"}) {
        TUpdates2dau list;
        std::string text = std::string("a\x01") +
                           "1\x01\r\nb\x01"
                           "2\x01\r\n" +
                           bad +
                           "\r\nc\x01"
                           "3\x01\r\n";
        EXPECT_THROW(list.SetText(text), EQuillon) << bad;
        ASSERT_EQ(list.Count(), 2u) << bad;
        EXPECT_EQ(list[1].FileName, "b");
    }
    TempDir dir;
    TUpdates2dau trailing;
    EXPECT_THROW(trailing.LoadFromFile(dir.write("u.dau", "a\x01"
                                                          "1\x01\r\nb\x01"
                                                          "2\x01\r\n\r\n")),
                 EQuillon);
    EXPECT_EQ(trailing.Count(), 2u);
}

TEST(Updates2dau, MissingFileFailsBeforeTouchingTheEntries) {
    TempDir dir;
    TUpdates2dau list;
    list.SetText("a\x01"
                 "1\x01\r\n");
    EXPECT_THROW(list.LoadFromFile(dir / "none.dau"), EFileError);
    EXPECT_EQ(list.Count(), 1u);
}

TEST(Updates2dau, FindByNameIsExactAndTakesTheFirst) {
    TUpdates2dau list;
    list.SetText("ghost/master/a.dic\x01one\x01\r\nghost/master/a.dic\x01two\x01\r\n");
    ASSERT_NE(list.FindByName("ghost/master/a.dic"), nullptr);
    EXPECT_EQ(list.FindByName("ghost/master/a.dic")->Digest, "one");
    EXPECT_EQ(list.FindByName("Ghost/master/a.dic"), nullptr);
    EXPECT_EQ(list.FindByName("ghost\\master\\a.dic"), nullptr);
    EXPECT_EQ(list.FindByName("/ghost/master/a.dic"), nullptr);
}

TEST(Updates2dau, JapaneseNamesWithBackslashSecondBytesSurvive) {
    TempDir dir;
    dir.write("ghost/master/ソ表能.txt", "kana");
    TUpdates2dau list = built(dir, "ghost/master/*.txt");
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list[0].FileName, "ghost/master/ソ表能.txt");
    std::string out = dir / "updates2.dau";
    list.SaveToFile(out);
    EXPECT_EQ(ReadAll(out), "ghost/master/\x83\x5C\x95\x5C\x94\x5C.txt\x01" + MD5String("kana") + "\x01\r\n");
    TUpdates2dau back;
    back.LoadFromFile(out);
    EXPECT_EQ(back[0].FileName, list[0].FileName);
    EXPECT_EQ(back[0].Digest, list[0].Digest);
}

TEST(Updates2dau, NameWithoutShiftJisFormIsRefusedNotChanged) {
    TempDir dir;
    dir.write("ok.txt", "1");
    dir.write("😀.txt", "2");
    TUpdates2dau list = built(dir, "*.txt");
    ASSERT_EQ(list.Count(), 2u);
    std::string out = dir / "updates2.dau";
    try {
        list.SaveToFile(out);
        FAIL() << "saved a changed name";
    } catch (const EEncodingError& e) {
        EXPECT_NE(std::string(e.what()).find("😀.txt"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(Updates2dau, NamesAreComparedAsTheirCp932Bytes) {
    TempDir dir;
    // Each of these decodes from its CP932 form to another character: compared after a round trip
    // through UTF-8 they would never be found again.
    const std::vector<std::string> names = {"〜.txt", "−.txt", "—.txt", "‖.txt", "¢.txt", "£.txt", "¬.txt"};
    for (const std::string& n : names)
        dir.write(n, n);
    TUpdates2dau local = built(dir, "*.txt");
    ASSERT_EQ(local.Count(), names.size());
    std::string out = dir / "list.dau";
    local.SaveToFile(out);
    TUpdates2dau remote;
    remote.LoadFromFile(out);
    EXPECT_EQ(remote.GetText(), local.GetText());
    for (size_t i = 0; i < local.Count(); ++i) {
        const TElementFile* found = remote.FindByName(local[i].FileNameCp932);
        ASSERT_NE(found, nullptr) << local[i].FileName;
        EXPECT_EQ(found->Digest, local[i].Digest);
    }
    EXPECT_EQ(remote.FindByName("\x81\x60.txt")->FileName, "～.txt"); // shown decoded
}

TEST(Updates2dau, NamesSharingOneCp932FormAreACollision) {
    TempDir dir;
    dir.write("〜.txt", "a");
    dir.write("～.txt", "b");
    dir.write("ok.txt", "c");
    const TElementFile *first = nullptr, *second = nullptr;
    EXPECT_FALSE(built(dir, "ok.txt\r\nok.txt").FindNameCollision(first, second)); // one file twice
    TUpdates2dau list = built(dir, "*.txt");
    ASSERT_TRUE(list.FindNameCollision(first, second));
    EXPECT_NE(first->FileName, second->FileName);
    EXPECT_EQ(first->FileNameCp932, second->FileNameCp932);
}
