#include "platform/File.h"
#include "support/TempDir.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

TEST(File, CreateNewNeverTakesAnExistingFileAndPositionedIoLeavesThePositionAlone) {
    TempDir dir;
    const std::string existing = dir.write("ソ表.txt", "keep me");
    TFile file;
    EXPECT_FALSE(file.Open(existing, FileAccess::CreateNew));
    EXPECT_EQ(file.Error(), EEXIST);
    EXPECT_EQ(ReadAll(existing), "keep me");

    const std::string path = dir / "new.bin";
    ASSERT_TRUE(file.Open(path, FileAccess::CreateNew));
    EXPECT_TRUE(file.WriteAll("abcdef", 6));
    EXPECT_TRUE(file.WriteAllAt("XY", 2, 1));
    EXPECT_TRUE(file.WriteAll("g", 1)); // after "abcdef": the positioned write did not move it
    EXPECT_EQ(file.Size(), 7);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadAll(path), "aXYdefg");

    ASSERT_TRUE(file.Open(path, FileAccess::Read));
    char buffer[8] = {};
    EXPECT_EQ(file.ReadAt(buffer, 3, 4), 3);
    EXPECT_EQ(std::string(buffer, 3), "efg");
    EXPECT_EQ(file.Read(buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "aX");
    EXPECT_TRUE(file.Seek(6));
    EXPECT_EQ(file.Read(buffer, 8), 1);
    EXPECT_EQ(file.Read(buffer, 8), 0);
    EXPECT_TRUE(file.IsRegular());

    TFile moved = std::move(file); // the handle travels; the old owner closes nothing
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(moved.IsOpen());

    TFile folder;
    ASSERT_TRUE(folder.Open(dir.path(), FileAccess::Read));
    EXPECT_FALSE(folder.IsRegular());
    TFile missing;
    EXPECT_FALSE(missing.Open(dir / "missing", FileAccess::Read));
    EXPECT_EQ(missing.Error(), ENOENT);
}

TEST(File, NextDataSkipsTheHolesOfASparseFile) {
    TempDir dir;
    const std::string path = dir / "sparse.bin";
    const int64_t hole = int64_t(64) << 20;
    {
        TFile file;
        ASSERT_TRUE(file.Open(path, FileAccess::CreateNew));
        ASSERT_TRUE(file.WriteAllAt("data", 4, hole));
        ASSERT_TRUE(file.Truncate(2 * hole));
    }
    TFile file;
    ASSERT_TRUE(file.Open(path, FileAccess::Read));
    EXPECT_EQ(file.Size(), 2 * hole);
    // The tests' file systems (ext4, tmpfs) keep holes.
    EXPECT_EQ(file.NextData(0), hole);
    EXPECT_EQ(file.NextData(hole + 2), hole + 2);     // inside data: where asked
    EXPECT_EQ(file.NextData(hole + 65536), 2 * hole); // only a hole follows: the end
}
