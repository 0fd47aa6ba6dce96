#include "jobs/RemotePath.h"

#include <gtest/gtest.h>

TEST(RemotePath, JoinAndRelativeAreLexicalAndMeetAtTheRoot) {
    EXPECT_EQ(JoinRemotePath("/pub", "ghost/master"), "/pub/ghost/master");
    EXPECT_EQ(JoinRemotePath("/pub/ghost", "../shell/./master/"), "/pub/shell/master");
    EXPECT_EQ(JoinRemotePath("/pub", "/other//x"), "/other/x");
    EXPECT_EQ(JoinRemotePath("/", "../.."), "/"); // nothing above the root
    EXPECT_EQ(JoinRemotePath("/pub", ""), "/pub");

    EXPECT_EQ(RelativeRemotePath("/pub/ghost/master", "/pub/updates2.dau"), "../../updates2.dau");
    EXPECT_EQ(RelativeRemotePath("/", "/pub/a.txt"), "pub/a.txt");
    EXPECT_EQ(RelativeRemotePath("/pub", "/pub"), ".");
    EXPECT_EQ(RelativeRemotePath("/pub/ghost", "/pub/ghostly/a"), "../ghostly/a"); // whole names only
}

TEST(RemotePath, UrlPathsKeepEveryByteButEscapeAllOthers) {
    EXPECT_EQ(PercentEncodePath("ghost/master/a-b_c.d~e"), "ghost/master/a-b_c.d~e");
    EXPECT_EQ(PercentEncodePath("a b%#?;.txt"), "a%20b%25%23%3F%3B.txt");
    // CP932 bytes go out as themselves, including a trail byte that is '\' in ASCII.
    EXPECT_EQ(PercentEncodePath("\x83\x5C.txt"), "%83%5C.txt");
}
