#include "platform/TextLines.h"

#include <gtest/gtest.h>

using Lines = std::vector<std::string>;

TEST(SplitLines, EndsLinesAtCrLfLoneCrAndLoneLf) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\n"), (Lines{""}));
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a\n\r"), (Lines{"a", ""})); // LF then a lone CR
}

TEST(SplitLines, NulEndsTheText) {
    EXPECT_EQ(SplitLines(std::string("a\nb\0c\nd", 7)), (Lines{"a", "b"}));
}

TEST(CommaText, WritesQuotedItemsOnlyWhereNeeded) {
    EXPECT_EQ(ToCommaText({"readme.*", "ghost/master/*.dic"}), "readme.*,ghost/master/*.dic");
    EXPECT_EQ(ToCommaText({"a b", "c,d", "say \"hi\"", "tab\there"}),
              "\"a b\",\"c,d\",\"say \"\"hi\"\"\",\"tab\there\"");
    EXPECT_EQ(ToCommaText({"a", "", "b"}), "a,,b");
    EXPECT_EQ(ToCommaText({""}), "\"\"");
    EXPECT_EQ(ToCommaText({}), "");
}

TEST(CommaText, ReadsWhatItWritesBack) {
    std::vector<Lines> lists = {{"readme.*", "ghost/master/*.dic"},
                                {"a b", "c,d", "say \"hi\"", "ソ表"},
                                {"a", "", "b"},
                                {""},
                                {},
                                {"x", ""}};
    for (const Lines& list : lists)
        EXPECT_EQ(FromCommaText(ToCommaText(list)), list) << ToCommaText(list);
}

TEST(CommaText, ReadingRules) {
    EXPECT_EQ(FromCommaText("  a , b"), (Lines{"a", "b"}));         // blanks around commas skipped
    EXPECT_EQ(FromCommaText("a b"), (Lines{"a", "b"}));             // a blank ends an unquoted item
    EXPECT_EQ(FromCommaText("a,"), (Lines{"a", ""}));               // trailing comma adds one empty item
    EXPECT_EQ(FromCommaText("\"a\"\"b\",c"), (Lines{"a\"b", "c"})); // doubled quote
    EXPECT_EQ(FromCommaText("\"unterminated"), (Lines{"unterminated"}));
    EXPECT_EQ(FromCommaText("   "), Lines{});
}
