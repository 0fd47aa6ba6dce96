#include "archive/CollectFiles.h"
#include "platform/Errors.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

namespace {

using Names = std::vector<std::string>;

Names collect(const TempDir& dir, TArchiverOptions& w, const PackItems& files) {
    std::vector<std::string> temporaries;
    bool abort = false;
    return CollectFiles(temporaries, w, dir.path(), nullptr, files, abort);
}

Names collect(const TempDir& dir, const PackItems& files) {
    TArchiverOptions w;
    return collect(dir, w, files);
}

void makeTree(const TempDir& dir) {
    dir.write("b.txt", "");
    dir.write("A.txt", "");
    dir.writeHidden(".hidden", "");
    dir.write("sub/c.txt", "");
    dir.write("sub/deeper/d.txt", "");
}

} // namespace

TEST(CollectFiles, SortedWithoutDuplicatesAndOnlyExistingOrdinaryFiles) {
    TempDir dir;
    makeTree(dir);
    EXPECT_EQ(collect(dir, {std::vector<std::string>{"sub\\c.txt", "b.txt", "A.txt", "b.txt", "gone.txt",
                                                     ".hidden"}}),
              (Names{"A.txt", "b.txt", "sub\\c.txt"}));
    EXPECT_EQ(collect(dir, {std::string("*.txt"), std::string("sub/*.*")}),
              (Names{"A.txt", "b.txt", "sub/c.txt"}));
}

TEST(CollectFiles, NoItemsMeansEveryFileOfTheBaseFolder) {
    TempDir dir;
    makeTree(dir);
    EXPECT_EQ(collect(dir, {}), (Names{"A.txt", "b.txt"}));
    TArchiverOptions w;
    w.a = 1; // hidden files too
    EXPECT_EQ(collect(dir, w, {}), (Names{".hidden", "A.txt", "b.txt"}));
}

TEST(CollectFiles, RecursionRulesAndOptionsLeftForTheLibrary) {
    TempDir dir;
    makeTree(dir);
    TArchiverOptions w;
    w.r = 1;
    EXPECT_EQ(collect(dir, w, {std::string("*.txt")}),
              (Names{"A.txt", "b.txt", "sub\\c.txt", "sub\\deeper\\d.txt"}));
    EXPECT_EQ(w.r, -1);
    EXPECT_EQ(w.p, 1);
    EXPECT_TRUE(IsNotSet(w.jo));

    TArchiverOptions exact;
    exact.r = 1;
    exact.p = 1; // descend only for masks with wildcards
    EXPECT_EQ(collect(dir, exact, {std::string("c.txt")}), Names{});
    TArchiverOptions all;
    all.r = 1;
    all.p = 0;
    EXPECT_EQ(collect(dir, all, {std::string("c.txt")}), (Names{"sub\\c.txt"}));
    TArchiverOptions folder;
    folder.r = 2; // a pattern naming a folder means every file in it
    EXPECT_EQ(collect(dir, folder, {std::string("sub")}), (Names{"sub\\c.txt", "sub\\deeper\\d.txt"}));
}

TEST(CollectFiles, ExclusionsWithoutRegardToCase) {
    TempDir dir;
    makeTree(dir);
    TArchiverOptions w;
    w.jx = {"a.TXT", "sub\\*.*"};
    EXPECT_EQ(collect(dir, w, {std::vector<std::string>{"A.txt", "b.txt", "sub\\c.txt"}}), (Names{"b.txt"}));
}

TEST(CollectFiles, DateBounds) {
    TempDir dir;
    SetFileTime(dir.write("old.txt", ""), LocalTime(1999, 12, 31, 12));
    SetFileTime(dir.write("new.txt", ""), LocalTime(2000, 1, 1));
    SetFileTime(dir.write("later.txt", ""), LocalTime(2000, 1, 2, 12));
    TArchiverOptions w;
    w.jo = "000101";     // from the first instant of 1 January 2000
    w.job = "l20000101"; // to the end of that day
    EXPECT_EQ(collect(dir, w, {std::string("*.txt")}), (Names{"new.txt"}));
    TArchiverOptions bad;
    bad.jo = "001332";
    EXPECT_THROW(collect(dir, bad, {std::string("*.txt")}), EQuillon);
}

TEST(CollectFiles, DateBoundForms) {
    EXPECT_EQ(DateBound(NotSetMarker, "000000"), 0);
    EXPECT_EQ(DateBound("", "000000"), 0);
    EXPECT_EQ(DateBound("12345", "000000"), 0);
    std::tm t = LocalTime(2001, 2, 3, 23, 59, 59);
    std::time_t expected = std::mktime(&t);
    EXPECT_EQ(DateBound("010203", "235959"), expected);
    EXPECT_EQ(DateBound("20010203", "235959"), expected);
    EXPECT_EQ(DateBound("010203235959", "000000"), expected);
    EXPECT_EQ(DateBound("l20010203235959", "000000"), expected);
    EXPECT_THROW(DateBound("20010230", "000000"), EQuillon);
    EXPECT_THROW(DateBound("2001ab03", "000000"), EQuillon);
}

TEST(CollectFiles, BaseFolderThatCannotBeEnteredFails) {
    TempDir dir;
    std::vector<std::string> temporaries;
    TArchiverOptions w;
    bool abort = false;
    EXPECT_THROW(CollectFiles(temporaries, w, dir / "missing/", nullptr, {std::string("a.txt")}, abort),
                 EFileError);
}

TEST(CollectFiles, StreamCopiesAreNamedWithTheSeparator) {
    EXPECT_EQ(StreamCopyName("a.txt", ":Zone.Identifier:$DATA", ";#"), "a.txt;Zone.Identifier;$DATA");
    EXPECT_EQ(StreamCopyName("g\\b.txt", ":\x05Summary:$DATA", ";#"), "g\\b.txt;#Summary;$DATA");
    // Two characters, not two bytes; any other count leaves the name as the system gives it.
    EXPECT_EQ(StreamCopyName("a", ":s:$DATA", "・#"), "a・s・$DATA");
    EXPECT_EQ(StreamCopyName("a", ":s:$DATA", ";"), "a:s:$DATA");
    EXPECT_EQ(StreamCopyName("a", ":s:$DATA", ";#!"), "a:s:$DATA");
}
