#include "updatelist/GetFileList.h"
#include "platform/Wildcard.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#ifndef _WIN32 // POSIX only: links, modes, signals, limits
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using Names = std::vector<std::string>;

namespace {

Names names(const std::vector<std::string>& paths, size_t prefix) {
    Names n;
    for (const std::string& p : paths)
        n.push_back(p.substr(prefix));
    return n;
}

} // namespace

TEST(MatchesMask, PlatformWildcardRules) {
    EXPECT_TRUE(MatchesMask("Readme.TXT", "readme.*"));
    EXPECT_TRUE(MatchesMask("readme", "readme.*"));
    EXPECT_TRUE(MatchesMask("noext", "*.*"));
    EXPECT_TRUE(MatchesMask("a.b.c", "*.c"));
    EXPECT_TRUE(MatchesMask("表.txt", "?.txt")); // '?' is one character, not one byte
    EXPECT_FALSE(MatchesMask("ab.txt", "?.txt"));
    EXPECT_TRUE(MatchesMask("aXbXc", "a*b*c"));
    EXPECT_FALSE(MatchesMask("abc", "a*d"));
    EXPECT_FALSE(MatchesMask("a.txt", ""));
    EXPECT_FALSE(MatchesMask("a.jpeg", "*.jpe"));
    EXPECT_FALSE(MatchesMask("ソ.txt", "ｿ.txt"));
}

TEST(GetFileList, ListsOnlyDirectFilesSortedWithoutRegardToCase) {
    TempDir dir;
    dir.write("ghost/master/b.txt", "");
    dir.write("ghost/master/A.TXT", "");
    dir.write("ghost/master/c.dic", "");
    dir.write("ghost/master/system/d.txt", "");
    dir.mkdir("ghost/master/folder.txt");
    std::string base = dir / "ghost\\master\\";
    EXPECT_EQ(names(GetFileList(base + "*.txt"), base.size()), (Names{"A.TXT", "b.txt"}));
    EXPECT_EQ(GetFileList(base + "*.txt")[0], base + "A.TXT"); // the argument's folder text is kept
    EXPECT_EQ(names(GetFileList(base + "*.*"), base.size()), (Names{"A.TXT", "b.txt", "c.dic"}));
    EXPECT_EQ(names(GetFileList(base + "*.dic;*.txt"), base.size()), (Names{"A.TXT", "b.txt", "c.dic"}));
    EXPECT_EQ(names(GetFileList(base + "*.txt;b.*"), base.size()), (Names{"A.TXT", "b.txt", "b.txt"}));
}

TEST(GetFileList, NameWithoutWildcardsFindsTheFileInAnyCase) {
    TempDir dir;
    dir.write("Delete.TXT", "");
    EXPECT_EQ(GetFileList(dir / "delete.txt"), (Names{dir / "Delete.TXT"}));
    EXPECT_TRUE(GetFileList(dir / "other.txt").empty());
}

TEST(GetFileList, EmptyMasksMissingFoldersAndWildcardFoldersGiveNothing) {
    TempDir dir;
    dir.write("a/x.txt", "");
    EXPECT_TRUE(GetFileList(dir / "a/").empty());
    EXPECT_TRUE(GetFileList(dir / "a/;").empty());
    EXPECT_TRUE(GetFileList(dir / "missing/*.*").empty());
    EXPECT_TRUE(GetFileList(dir / "*/x.txt").empty());
    EXPECT_TRUE(GetFileList(dir / "a/x.txt/*.*").empty());
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(GetFileList, HiddenAndSystemFilesAreNeverListed) {
    TempDir dir;
    dir.write(".hidden", "");
    dir.write("visible", "");
    std::string socketPath = dir / "sock";
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
    socketPath.copy(addr.sun_path, socketPath.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(GetFileList(dir / "*.*"), (Names{dir / "visible"}));
    EXPECT_TRUE(GetFileList(dir / ".hidden").empty());
    EXPECT_TRUE(GetFileList(dir / "sock").empty());
    ::close(fd);
}
#endif
