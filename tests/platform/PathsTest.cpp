#include "platform/Paths.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(Paths, SplitsAtEitherSeparator) {
    EXPECT_EQ(ExtractFilePath("/g/ghost\\master\\a.txt"), "/g/ghost\\master\\");
    EXPECT_EQ(ExtractFileName("/g/ghost\\master\\a.txt"), "a.txt");
    EXPECT_EQ(ExtractFilePath("pack.nar"), "");
    EXPECT_EQ(ExtractFileName("/g/"), "");
}

TEST(Paths, ChangesOnlyTheLastComponentsExtension) {
    EXPECT_EQ(ChangeFileExt("/d/tools/app.exe", ".ini"), "/d/tools/app.ini");
    EXPECT_EQ(ChangeFileExt("/d/tools/quillon", ".ini"), "/d/tools/quillon.ini");
    EXPECT_EQ(ChangeFileExt("/d/v1.2/quillon", ".ini"), "/d/v1.2/quillon.ini");
    EXPECT_EQ(ChangeFileExt("/d/a.ini", ".in_"), "/d/a.in_");
}

TEST(Paths, TrailingDelimiterAddedOnce) {
    EXPECT_EQ(IncludeTrailingPathDelimiter("/g"), "/g/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/g/"), "/g/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/g\\"), "/g\\");
}

TEST(FileSystem, RenameNeverReplacesAnExistingFile) {
    TempDir dir;
    std::string a = dir.write("a.ini", "A"), b = dir.write("a.in_", "B");
    try {
        RenameFile(a, b);
        FAIL() << "rename replaced a file";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), "I/O error 17");
    }
    EXPECT_EQ(ReadAll(a), "A");
    EXPECT_EQ(ReadAll(b), "B");
    ASSERT_TRUE(RemoveFile(b));
    RenameFile(a, b);
    EXPECT_EQ(ReadAll(b), "A");
    EXPECT_FALSE(FileExists(a));
    EXPECT_THROW(RenameFile(a, b), EFileError);
}

TEST(FileSystem, AtomicWriteLeavesTargetUntouchedOnFailure) {
    TempDir dir;
    std::string target = dir.mkdir("settings.ini"); // a folder where the file should go
    EXPECT_THROW(WriteFileAtomic(target, "x"), EFileError);
    EXPECT_TRUE(DirectoryExists(target));
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(dir.path(), entries));
    EXPECT_EQ(entries.size(), 1u) << "temporary file left behind";

    std::string file = dir.write("f.ini", "old");
    WriteFileAtomic(file, "new\r\n");
    EXPECT_EQ(ReadAll(file), "new\r\n");
}
