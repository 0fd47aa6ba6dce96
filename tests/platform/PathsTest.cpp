#include "platform/Paths.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#ifndef _WIN32 // POSIX only: links, modes, signals, limits
#include <sys/stat.h>
#include <unistd.h>
#endif

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
    EXPECT_EQ(IncludeTrailingPathDelimiter("/g"), std::string("/g") + NativeDelimiter);
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

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(FileSystem, RenameMovesAFileToAnotherFileSystem) {
    // /dev/shm is a memory file system, the temporary folder a disk one: no hard link, no rename there.
    char pattern[] = "/dev/shm/quillon-test-XXXXXX";
    if (!DirectoryExists("/dev/shm") || !::mkdtemp(pattern))
        GTEST_SKIP() << "no second file system";
    std::string other = std::string(pattern) + "/";
    struct Cleanup {
        std::string dir;
        ~Cleanup() { RunShell("rm -rf '" + dir + "'"); }
    } cleanup{other};
    TempDir dir;
    std::string content = std::string("PK\x03\x04") + std::string(200000, 'z');
    std::string from = dir.write("temp.zip", content);
    RenameFile(from, other + "ghost.nar");
    EXPECT_EQ(ReadAll(other + "ghost.nar"), content);
    EXPECT_FALSE(PathExists(from));

    // An existing target is not replaced there either, and the original stays.
    dir.write("temp.zip", "new");
    EXPECT_THROW(RenameFile(from, other + "ghost.nar"), EFileError);
    EXPECT_EQ(ReadAll(other + "ghost.nar"), content);
    EXPECT_EQ(ReadAll(from), "new");
}
#endif

TEST(FileSystem, CopyReplacesTheTargetAndReportsFailures) {
    TempDir dir;
    const std::string list("a\x01b\x01\r\n\0z", 8); // bytes after a NUL are copied too
    std::string from = dir.write("updates2.dau", list);
    std::string to = dir.write("ghost/master/updates2.dau", "an older, longer list");
    EXPECT_TRUE(CopyFileTo(from, to));
    EXPECT_EQ(ReadAll(to), list);
    EXPECT_FALSE(CopyFileTo(from, dir / "missing/updates2.dau")); // the folder is not made
    EXPECT_FALSE(PathExists(dir / "missing"));
    EXPECT_FALSE(CopyFileTo(dir / "none", dir / "copy"));
    EXPECT_FALSE(PathExists(dir / "copy"));
    EXPECT_FALSE(CopyFileTo(dir.mkdir("folder"), dir / "copy")); // a folder is no file to copy
    EXPECT_FALSE(PathExists(dir / "copy"));
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

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(FileSystem, AtomicWriteKeepsWhatTheFileWas) {
    TempDir dir;
    auto mode = [](const std::string& p) {
        struct stat st;
        ::lstat(p.c_str(), &st);
        return st.st_mode;
    };
    // A replaced file keeps its mode (a 0600 file holding passwords stays private) and owner.
    std::string secret = dir.write("secret.ini", "old");
    ::chmod(secret.c_str(), 0600);
    ASSERT_EQ(::chown(secret.c_str(), 1234, 2345), 0);
    WriteFileAtomic(secret, "new");
    struct stat st;
    ASSERT_EQ(::stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 2345u);
    std::string shared = dir.write("shared.ini", "old");
    ::chmod(shared.c_str(), 0664);
    WriteFileAtomic(shared, "new");
    EXPECT_EQ(mode(shared) & 07777, 0664u);
    // A new file is its owner's alone, whatever the umask allows.
    mode_t oldMask = ::umask(0);
    WriteFileAtomic(dir / "new.ini", "x");
    ::umask(oldMask);
    EXPECT_EQ(mode(dir / "new.ini") & 07777, 0600u);

    // A symbolic link is written through: the link stays, its target gets the bytes.
    std::string target = dir.write("real/target.ini", "old");
    ASSERT_EQ(::symlink("real/target.ini", (dir / "link.ini").c_str()), 0);
    WriteFileAtomic(dir / "link.ini", "through");
    EXPECT_TRUE(S_ISLNK(mode(dir / "link.ini")));
    EXPECT_EQ(ReadAll(target), "through");
}
#endif

TEST(FileSystem, AtomicWriteLeavesReadOnlyAndImmutableFilesAlone) {
    TempDir dir;
    std::string readOnly = dir.write("ro.ini", "old");
    ::chmod(readOnly.c_str(), 0444);
    EXPECT_THROW(WriteFileAtomic(readOnly, "new"), EFileError);
    EXPECT_EQ(ReadAll(readOnly), "old");

    std::string immutable = dir.write("imm.ini", "old");
    ::chmod(immutable.c_str(), 0644); // writable by its mode: only the attribute protects it
    if (!SetImmutable(immutable, true))
        GTEST_SKIP() << "this file system has no immutable attribute";
    EXPECT_THROW(WriteFileAtomic(immutable, "new"), EFileError);
    SetImmutable(immutable, false);
    EXPECT_EQ(ReadAll(immutable), "old");
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(dir.path(), entries));
    EXPECT_EQ(entries.size(), 2u) << "temporary file left behind";
}
