#include "platform/Errors.h"
#include "support/TempDir.h"
#include "updatelist/Updates2dau.h"

#include <gtest/gtest.h>

namespace {

struct Checked {
    bool ok;
    std::string problems;
};

Checked check(const TempDir& dir, const std::string& patterns, const std::string& excludes = "") {
    TUpdates2dau list;
    list.BaseFolder = dir.path();
    bool ok = list.Build(patterns, excludes);
    return {ok, list.ProblemText};
}

} // namespace

TEST(DeleteListCheck, WarnsForEachLineNamingADistributedFile) {
    TempDir dir;
    dir.write("delete.txt", "ghost\\master\\old.dic\r\nghost\\master\\a.dic\r\n");
    dir.write("ghost/master/a.dic", "");
    Checked c = check(dir, "delete.txt\r\nghost/master/*.dic");
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.problems, "delete.txt2行目、ghost\\master\\a.dicは存在します。\r\n");
}

TEST(DeleteListCheck, ComparisonIsExact) {
    TempDir dir;
    dir.write("delete.txt", "ghost/master/a.dic\nGHOST\\MASTER\\A.DIC\rghost\\master\\a.dic \n\n");
    dir.write("ghost/master/a.dic", "");
    Checked c = check(dir, "delete.txt\r\nghost/master/*.dic");
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.problems, "");
}

TEST(DeleteListCheck, DuplicatesAndSelfReferenceEachWarn) {
    TempDir dir;
    dir.write("delete.txt", "a.txt\r\ndelete.txt\r\na.txt");
    dir.write("a.txt", "");
    Checked c = check(dir, "delete.txt\r\na.txt\r\n*.txt");
    EXPECT_FALSE(c.ok);
    // a.txt is selected twice (two patterns) and named on two lines.
    EXPECT_EQ(c.problems, "delete.txt1行目、a.txtは存在します。\r\n"
                          "delete.txt1行目、a.txtは存在します。\r\n"
                          "delete.txt2行目、delete.txtは存在します。\r\n"
                          "delete.txt2行目、delete.txtは存在します。\r\n"
                          "delete.txt3行目、a.txtは存在します。\r\n"
                          "delete.txt3行目、a.txtは存在します。\r\n");
}

TEST(DeleteListCheck, RunsOnlyWhenDeleteTxtItselfIsDistributed) {
    TempDir dir;
    dir.write("delete.txt", "a.txt\r\n");
    dir.write("a.txt", "");
    EXPECT_TRUE(check(dir, "a.txt").ok);
    EXPECT_TRUE(check(dir, "*.txt", "delete.txt").ok);
    dir.write("ghost/delete.txt", "a.txt\r\n");
    EXPECT_TRUE(check(dir, "a.txt\r\nghost/delete.txt").ok);

    TempDir upper;
    upper.write("Delete.txt", "a.txt\r\n");
    upper.write("a.txt", "");
    EXPECT_TRUE(check(upper, "delete.txt\r\na.txt").ok);

    TempDir empty;
    empty.write("delete.txt", "");
    EXPECT_TRUE(check(empty, "delete.txt").ok);
}

TEST(DeleteListCheck, JapaneseLinesAreReadAsShiftJis) {
    TempDir dir;
    dir.write("delete.txt", "ghost\\\x83\x5C\x95\x5C.dic\r\n"); // ghost\ソ表.dic in CP932
    dir.write("ghost/ソ表.dic", "");
    Checked c = check(dir, "delete.txt\r\nghost/*.dic");
    EXPECT_EQ(c.problems, "delete.txt1行目、ghost\\ソ表.dicは存在します。\r\n");
}

TEST(DeleteListCheck, LinesMatchNamesByTheirCp932Form) {
    TempDir dir;
    // 81 60 is the form of both 〜 (U+301C, the name on disk) and ～ (U+FF5E, what the bytes decode to).
    dir.write("delete.txt", "ghost\\\x81\x60old.dic\r\nghost\\\x81\x7C.dic\r\n");
    dir.write("ghost/〜old.dic", "");
    dir.write("ghost/−.dic", "");
    Checked c = check(dir, "delete.txt\r\nghost/*.dic");
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.problems, "delete.txt1行目、ghost\\～old.dicは存在します。\r\n"
                          "delete.txt2行目、ghost\\－.dicは存在します。\r\n");
}
