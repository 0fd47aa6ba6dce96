#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "updatelist/MD5.h"
#include "updatelist/Updates2dau.h"

#include <gtest/gtest.h>

namespace {

using Names = std::vector<std::string>;

Names select(const TempDir& dir, const std::string& patterns, const std::string& excludes = "") {
    TUpdates2dau list;
    list.BaseFolder = dir.path();
    EXPECT_TRUE(list.Build(patterns, excludes));
    Names names;
    for (size_t i = 0; i < list.Count(); ++i)
        names.push_back(list[i].FileName);
    return names;
}

#ifdef _WIN32
constexpr bool CaseTwinsExist = false; // names there ignore case: Readme.TXT would be readme.txt again
#else
constexpr bool CaseTwinsExist = true;
#endif

// A small ghost tree.
void makeGhost(const TempDir& dir) {
    dir.write("readme.txt", "r");
    if (CaseTwinsExist)
        dir.write("Readme.TXT", "R");
    dir.write("ghost/master/a.txt", "a");
    dir.write("ghost/master/B.TXT", "b");
    dir.write("ghost/master/tama.exe", "t");
    dir.write("ghost/master/aya_variable.cfg", "private");
    dir.write("ghost/master/error.log", "private");
    dir.writeHidden("ghost/master/.hidden.txt", "h");
    dir.write("ghost/master/system/c.txt", "c");
}

} // namespace

TEST(FileSelection, PatternsSelectDirectFilesInPatternThenNameOrder) {
    TempDir dir;
    makeGhost(dir);
    EXPECT_EQ(select(dir, "ghost/master/*.txt"), (Names{"ghost/master/a.txt", "ghost/master/B.TXT"}));
    EXPECT_EQ(select(dir, "ghost/master/system/*.txt\r\nghost\\master\\*.txt"),
              (Names{"ghost/master/system/c.txt", "ghost/master/a.txt", "ghost/master/B.TXT"}));
    // Letter case as stored; both spellings exist on a case-sensitive file system.
    EXPECT_EQ(select(dir, "README.*"),
              (CaseTwinsExist ? Names{"Readme.TXT", "readme.txt"} : Names{"readme.txt"}));
}

TEST(FileSelection, PatternsWithoutWildcardsEmptyMasksAndEmptyLines) {
    TempDir dir;
    makeGhost(dir);
    EXPECT_EQ(select(dir, "ghost/master/TAMA.EXE"), (Names{"ghost/master/tama.exe"}));
    EXPECT_EQ(select(dir, "ghost/master/none.exe"), Names{});
    EXPECT_EQ(select(dir, "ghost/master/\r\n\r\n"), Names{});
    EXPECT_EQ(select(dir, ""), Names{});
    EXPECT_EQ(select(dir, "ghost/master/.hidden.txt"), Names{});
    EXPECT_EQ(select(dir, "missing/*.*"), Names{});
}

TEST(FileSelection, FileSelectedByTwoPatternsIsTwoEntries) {
    TempDir dir;
    makeGhost(dir);
    Names names = select(dir, "ghost/master/*.txt\r\nghost/master/*.*");
    EXPECT_EQ(std::count(names.begin(), names.end(), "ghost/master/a.txt"), 2);
    EXPECT_EQ(names.size(), 2u + 5u);
}

TEST(FileSelection, ExclusionByPathWithoutRegardToCaseOneCopyPerListing) {
    TempDir dir;
    makeGhost(dir);
    EXPECT_EQ(select(dir, "ghost/master/*.exe", "GHOST/MASTER/TAMA.EXE"), Names{});
    EXPECT_EQ(select(dir, "ghost/master/*.exe", "ghost\\master\\tama.exe"), Names{});
    EXPECT_EQ(select(dir, "ghost/master/*.exe", "ghost/master/other.exe"), (Names{"ghost/master/tama.exe"}));
    // The same file listed by two patterns is removed from each listing.
    EXPECT_EQ(select(dir, "ghost/master/*.txt\r\nghost/master/a.*", "ghost/master/a.txt"),
              (Names{"ghost/master/B.TXT"}));
    // A pattern that lists a file twice (two masks) loses one copy to one exclusion line.
    EXPECT_EQ(select(dir, "ghost/master/a.txt;*.txt", "ghost/master/a.txt"),
              (Names{"ghost/master/a.txt", "ghost/master/B.TXT"}));
}

TEST(FileSelection, ExclusionLinesWithWildcardsActAsMasks) {
    TempDir dir;
    makeGhost(dir);
    Names names = select(dir, "ghost/master/*.*", "ghost/master/aya_variable.*\r\nghost/master/*.LOG");
    EXPECT_EQ(names, (Names{"ghost/master/a.txt", "ghost/master/B.TXT", "ghost/master/tama.exe"}));
    // A mask applies to its own folder only.
    EXPECT_EQ(select(dir, "ghost/master/system/*.txt", "ghost/master/*.txt"),
              (Names{"ghost/master/system/c.txt"}));
    EXPECT_EQ(select(dir, "ghost/master/*.txt", "ghost/master/"),
              (Names{"ghost/master/a.txt", "ghost/master/B.TXT"}));
}

TEST(FileSelection, EntriesCarryDigestsAndPumpOncePerEntry) {
    TempDir dir;
    makeGhost(dir);
    ScriptedPrompts prompts;
    TUpdates2dau list;
    list.BaseFolder = dir.path();
    list.Build("ghost/master/*.txt\r\nreadme.txt", ""); // readme.txt finds Readme.TXT too
    const size_t count = CaseTwinsExist ? 4 : 3;
    ASSERT_EQ(list.Count(), count);
    EXPECT_EQ(prompts.pumps, static_cast<int>(count));
    EXPECT_EQ(list[0].Digest, MD5String("a"));
    EXPECT_EQ(list[0].BaseFolder, dir.path());
    EXPECT_EQ(list[count - 1].RelativePath, "readme.txt");

    // A second build starts from scratch.
    list.Build("ghost/master/a.txt", "");
    EXPECT_EQ(list.Count(), 1u);
}
