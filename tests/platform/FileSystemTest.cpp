#include "platform/FileSystem.h"
#include "platform/Errors.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <thread>
#ifndef _WIN32 // POSIX only: links, modes, signals, limits
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

TEST(FileSystem, RenameFileNeverReplacesAndMovesInOneStep) {
    TempDir dir;
    std::string a = dir.write("a.ini", "a"), b = dir.write("b.ini", "b");
    try {
        RenameFile(a, b);
        ADD_FAILURE() << "an existing file was replaced";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.code(), EEXIST);
    }
    EXPECT_EQ(ReadAll(b), "b");
    RenameFile(a, dir / "a.in_");
    EXPECT_FALSE(PathExists(a));
    EXPECT_EQ(ReadAll(dir / "a.in_"), "a");
    EXPECT_THROW(RenameFile(a, dir / "c.ini"), EFileError); // gone
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(FileSystem, AKilledWritersTemporaryFileIsPrivateAndRemovedOnlyOnceTheWriterIsGone) {
    TempDir dir;
    std::string path = dir.write("quillon.ini", "old");
    ::chmod(path.c_str(), 0644);
    // A writer with much to write, stopped in the middle and then killed, as a user's kill would.
    const std::string bytes(256 << 20, 'x');
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            WriteFileAtomic(path, bytes);
        } catch (...) {
        }
        ::_exit(0);
    }
    const std::string temp = path + ".tmp" + std::to_string(child);
    struct stat st {};
    bool caught = false;
    for (int i = 0; i < 1000000; ++i) {
        if (::stat(temp.c_str(), &st) == 0 && st.st_size > 0 &&
            st.st_size < static_cast<off_t>(bytes.size())) {
            ::kill(child, SIGSTOP);
            caught = ::stat(temp.c_str(), &st) == 0 && st.st_size < static_cast<off_t>(bytes.size());
            break;
        }
        std::this_thread::yield();
    }
    if (!caught) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        GTEST_SKIP() << "the writer finished before it could be stopped";
    }
    // Readable by its owner only while it is written, whatever the mode of the file it replaces.
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A live writer's file stays.
    EXPECT_EQ(RemoveLeftoverTemporaries(path), 0);
    EXPECT_TRUE(PathExists(temp));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(PathExists(temp));
    EXPECT_EQ(ReadAll(path), "old");
    // Once the writer is gone, its file goes.
    EXPECT_EQ(RemoveLeftoverTemporaries(path), 1);
    EXPECT_FALSE(PathExists(temp));
    EXPECT_EQ(ReadAll(path), "old");
}
#endif

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(FileSystem, LeftoverTemporariesAreFoundBesideTheFileALinkNames) {
    TempDir dir;
    dir.mkdir("real");
    dir.write("real/quillon.ini", "x");
    ASSERT_EQ(::symlink("real/quillon.ini", (dir / "quillon.ini").c_str()), 0);
    dir.write("real/quillon.ini.tmp31", "secret");
    dir.write("quillon.ini.tmp32", "not beside the file the link names");
    EXPECT_EQ(RemoveLeftoverTemporaries(dir / "quillon.ini"), 1);
    EXPECT_FALSE(PathExists(dir / "real/quillon.ini.tmp31"));
    EXPECT_TRUE(PathExists(dir / "quillon.ini.tmp32"));
    EXPECT_EQ(RemoveLeftoverTemporaries(dir / "missing/quillon.ini"), 0);
}
#endif

TEST(FileSystem, JapaneseReasonsForTheCommonErrors) {
    EXPECT_EQ(SystemErrorReasonJa(EACCES), "アクセスが許可されていません");
    EXPECT_EQ(SystemErrorReasonJa(ENOSPC), "ディスクの空き容量が足りません");
    EXPECT_EQ(SystemErrorReasonJa(EEXIST), "同じ名前のファイルがすでにあります");
    EXPECT_EQ(SystemErrorReasonJa(12345), "システムエラー 12345");
}
