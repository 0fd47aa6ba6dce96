#include "updatelist/ReleaseCheck.h"
#include "platform/Errors.h"
#include "support/TempDir.h"
#include "updatelist/Updates2dau.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

Lines findings(const TempDir& dir, const std::string& patterns,
               ReleaseKind kind = ReleaseKind::NetworkUpdate) {
    TUpdates2dau list;
    list.BaseFolder = dir.path();
    list.Build(patterns, "");
    return CheckRelease(list, kind);
}

// A ghost with nothing to find in it, for either kind of release.
void cleanGhost(const TempDir& dir) {
    dir.write("install.txt", "type,ghost\r\ndirectory,mysakura\r\n");
    dir.write("delete.txt", "ghost/master/old.dic\r\n");
    dir.write("ghost/master/descript.txt",
              "charset,Shift_JIS\r\nname,sakura\r\nhomeurl,http://example.com/g/\r\n");
    dir.write("ghost/master/word.dic", "w");
}

const char* const cleanPatterns = "delete.txt\r\ninstall.txt\r\nghost/master/*.*\r\n";

} // namespace

TEST(ReleaseCheck, ACleanGhostGivesNothingForEitherKind) {
    TempDir dir;
    cleanGhost(dir);
    EXPECT_EQ(findings(dir, cleanPatterns, ReleaseKind::NetworkUpdate), Lines{});
    EXPECT_EQ(findings(dir, cleanPatterns, ReleaseKind::Archive), Lines{});
}

TEST(ReleaseCheck, DeleteLinesAsTheBasewareReadsThem) {
    TempDir dir;
    cleanGhost(dir);
    // Line 1 is the exact check's own finding and is not repeated; lines 2 to 4 delete word.dic on the
    // users' side all the same; line 5 names nothing distributed; the trail byte 0x5C of ソ is no separator.
    dir.write("delete.txt", "ghost\\master\\word.dic\r\n"
                            "ghost/master/word.dic\r\n"
                            "GHOST\\Master\\Word.DIC\r\n"
                            "  ghost/master/word.dic \t\r\n"
                            "ghost/master/gone.dic\r\n"
                            "ghost/master/\x83\x5C.txt\r\n"
                            "\r\n");
    dir.write("ghost/master/ソ/.txt", "not the same name");
    Lines f = findings(dir, cleanPatterns);
    ASSERT_EQ(f.size(), 3u) << ::testing::PrintToString(f);
    EXPECT_EQ(f[0],
              "delete.txt2行目「ghost/master/word.dic」は、配布するghost/master/word.dicをユーザー側で削除"
              "します。この行を削除してください。");
    EXPECT_NE(f[1].find("delete.txt3行目「GHOST\\Master\\Word.DIC」"), std::string::npos);
    EXPECT_NE(f[2].find("delete.txt4行目"), std::string::npos);

    // Without delete.txt among the distributed files nothing of it is read.
    EXPECT_EQ(findings(dir, "install.txt\r\nghost/master/*.*\r\n"), Lines{});
}

TEST(ReleaseCheck, NamesThatDifferOnlyInCase) {
    TempDir dir;
    cleanGhost(dir);
    dir.write("ghost/master/Word.dic", "W");
    dir.write("ghost/master/ソ.dic", "kana is not folded");
    // word.dic selected a second time by another pattern is the same file, not a twin.
    Lines f = findings(dir, std::string(cleanPatterns) + "ghost/master/word.dic\r\n");
    ASSERT_EQ(f.size(), 1u) << ::testing::PrintToString(f);
    EXPECT_NE(f[0].find("ghost/master/Word.dic"), std::string::npos);
    EXPECT_NE(f[0].find("ghost/master/word.dic"), std::string::npos);
    EXPECT_NE(f[0].find("どちらかの名前を変えてください。"), std::string::npos);

    // A delete.txt line deletes both twins; it is told with the one it spells.
    dir.write("delete.txt", "ghost/master/word.dic\r\n");
    f = findings(dir, cleanPatterns);
    ASSERT_EQ(f.size(), 2u) << ::testing::PrintToString(f);
    EXPECT_EQ(f[0],
              "delete.txt1行目「ghost/master/word.dic」は、配布するghost/master/word.dicをユーザー側で削除"
              "します。この行を削除してください。");
}

TEST(ReleaseCheck, FilesNoUserShouldReceive) {
    TempDir dir;
    cleanGhost(dir);
    for (const char* name :
         {"ghost/master/saori/aya_variable.cfg", "shell/master/Thumbs.db", "shell/master/desktop.ini",
          "shell/master/.DS_Store", "ghost/master/word.dic.bak", "ghost/master/~word.dic",
          "ghost/master/x.TMP", "ghost/master/profile/profile.txt", "ghost/master/debug.log"})
        dir.write(name, "x");
    dir.write("shell/master/surface0.png", "a shell is fine");
    // .DS_Store is hidden on POSIX and never selected; on Windows it is an ordinary name the table catches.
    Lines f = findings(dir, std::string(cleanPatterns) + "ghost/master/saori/*.*\r\nshell/master/*.*\r\n"
                                                         "ghost/master/profile/*.*\r\n");
    Lines named;
    for (const std::string& line : f) {
        EXPECT_NE(line.find("除外ファイル名条件に加えてください。"), std::string::npos) << line;
        named.push_back(line.substr(0, line.find("は配布すべきでない")));
    }
    Lines expected{"ghost/master/debug.log",
                   "ghost/master/profile/profile.txt",
                   "ghost/master/saori/aya_variable.cfg",
                   "ghost/master/word.dic.bak",
                   "ghost/master/x.TMP",
                   "ghost/master/~word.dic",
                   "shell/master/Thumbs.db",
                   "shell/master/desktop.ini"};
#ifdef _WIN32
    expected.push_back("shell/master/.DS_Store");
#endif
    std::sort(named.begin(), named.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(named, expected);
}

TEST(ReleaseCheck, HomeUrlOfANetworkUpdate) {
    TempDir dir;
    cleanGhost(dir);
    dir.write("ghost/master/descript.txt", "name,sakura\r\n");
    Lines f = findings(dir, cleanPatterns);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].rfind("ghost/master/descript.txtにhomeurlの行がありません。", 0), 0u) << f[0];
    EXPECT_EQ(findings(dir, cleanPatterns, ReleaseKind::Archive), Lines{}); // an archive needs none

    dir.write("ghost/master/descript.txt", "HomeURL , http://example.com/g \r\n");
    f = findings(dir, cleanPatterns);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0], "ghost/master/descript.txtのhomeurl「http://example.com/g」が/で終わっていません。"
                    "末尾に/を付けてください。");

    // Keys in any case, blanks around them, a UTF-8 file that says so.
    dir.write("ghost/master/descript.txt",
              "\xEF\xBB\xBF"
              "charset,UTF-8\r\nname,さくら\r\n HOMEURL ,http://example.com/g/\r\n");
    EXPECT_EQ(findings(dir, cleanPatterns), Lines{});
    EXPECT_EQ(GhostHomeUrl(dir.path()), "http://example.com/g/");
}

TEST(ReleaseCheck, InstallTxtOfAnArchive) {
    TempDir dir;
    cleanGhost(dir);
    Lines f = findings(dir, "ghost/master/*.*\r\n", ReleaseKind::Archive);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].rfind("install.txtが収録されません。", 0), 0u) << f[0];
    EXPECT_EQ(findings(dir, "ghost/master/*.*\r\n", ReleaseKind::NetworkUpdate), Lines{});

    dir.write("install.txt", "name,sakura\r\n");
    f = findings(dir, cleanPatterns, ReleaseKind::Archive);
    ASSERT_EQ(f.size(), 2u) << ::testing::PrintToString(f);
    EXPECT_EQ(f[0], "install.txtにtypeの行がありません。「type,ghost」のように書いてください。");
    EXPECT_EQ(f[1],
              "install.txtにdirectoryの行がありません。「directory,フォルダ名」のように書いてください。");

    dir.write("install.txt", "Type,ghost\r\ndirectory,\r\n"); // an empty value is no directory
    f = findings(dir, cleanPatterns, ReleaseKind::Archive);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_NE(f[0].find("directory"), std::string::npos);

    // A zip of plain files (no descript.txt anywhere) is no package to install.
    TempDir plain;
    plain.write("a.txt", "a");
    EXPECT_EQ(findings(plain, "*.txt\r\n", ReleaseKind::Archive), Lines{});
}
