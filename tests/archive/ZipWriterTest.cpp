#include "archive/ZipWriter.h"
#include "archive/ArchiveFile.h"
#include "archive/ArchiverApi.h"
#include "archive/ArchiverRegistry.h"
#include "archive/BuiltinZip.h"
#include "archive/Zip32.h"
#include "platform/Cp932.h"
#include "support/ArchiveReaders.h"
#include "support/FailingZipEnvironment.h"
#include "support/PeakMemory.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/ZipHeaders.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#ifndef _WIN32 // POSIX only: links, modes, signals, limits
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

struct Result {
    int code;
    std::string output;
};

// The writer's entry with the job's switches, an archive, a base folder and members (ASCII names).
Result zip(const std::string& archive, const std::string& base, const std::vector<std::string>& members,
           const std::string& switches = " -D -9 -X") {
    std::string line = switches + " \"" + archive + "\" \"" + base + "\"";
    for (const std::string& m : members)
        line += " \"" + m + "\"";
    std::string output(4096, '\0');
    int code = BuiltinZipCommand(nullptr, line.c_str(), output.data(), 4096);
    return {code, Cp932ToUtf8(output.c_str())};
}

std::string unzipTest(const std::string& archive) {
    int status = 0;
    std::string out = RunShell("unzip -tq '" + archive + "' 2>&1", &status);
    return status == 0 ? "" : out;
}

// Every file of a folder tree, so that a failed pack can be seen to leave nothing behind.
std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (!e.is_directory())
            files.push_back(fs::relative(e.path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

// Text that deflates to about half its size: random letters of a 16-letter alphabet.
std::string halfCompressible(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>('a' + rng() % 16);
    return s;
}

class ZipWriterTest : public ::testing::Test {
protected:
    FailingZipEnvironment faults; // fails nothing until a test says
};

} // namespace

TEST_F(ZipWriterTest, ReadFailuresFailThePackWithoutACrash) {
    TempDir dir;
    dir.write("a.txt", "a");
    dir.write("big.bin", RandomBytes(1 << 20));            // stored: the writer reads past the first chunk
    dir.write("text.txt", halfCompressible(3 << 20, 2));   // deflated by a compressing thread
    fs::create_symlink("/proc/self/mem", dir / "mem.bin"); // a file the system fails to read
    std::string archive = dir / "t.zip";
    const std::vector<std::string> before = filesIn(dir.path());

    Result r = zip(archive, dir.path(), {"a.txt", "mem.bin"});
    EXPECT_EQ(r.code, ERROR_FILE_OPEN);
    EXPECT_NE(r.output.find(dir / "mem.bin" + " を読み込めません："), std::string::npos) << r.output;
    EXPECT_EQ(filesIn(dir.path()), before); // no archive, no temporary file

    for (const auto& [member, after] : {std::pair<std::string, uint64_t>{"big.bin", 300000},
                                        {"big.bin", 10},
                                        {"text.txt", 1000000},
                                        {"a.txt", 0}}) {
        faults.ReadFailsFor = member;
        faults.ReadFailsAfter = after;
        r = zip(archive, dir.path(), {"a.txt", "big.bin", "text.txt"});
        EXPECT_EQ(r.code, ERROR_FILE_OPEN) << member << " " << after;
        EXPECT_EQ(r.output, dir / member + " を読み込めません：入出力エラーが発生しました。")
            << member << " " << after;
        EXPECT_EQ(filesIn(dir.path()), before) << member << " " << after;
    }

    // Through the component: the old archive was deleted first, and no new one takes its place.
    faults.ReadFailsFor = "big.bin";
    faults.ReadFailsAfter = 300000;
    dir.write("temp.zip", "old archive");
    ResetArchiverLibraries();
    TZip32().FreeDLL();
    TArchiveFile component;
    component.SetFileName(dir / "temp.zip");
    TArchiverOptions o;
    o.UserOptions = "-9 -X";
    EXPECT_EQ(component.PackFiles(nullptr, &o, dir.path(), {std::vector<std::string>{"a.txt", "big.bin"}}),
              ERROR_FILE_OPEN);
    EXPECT_EQ(filesIn(dir.path()), before);
}

TEST_F(ZipWriterTest, OpenFailuresKeepAnArchiveThatIsThere) {
    TempDir dir;
    dir.write("a.txt", "a");
    dir.mkdir("folder");
    std::string archive = dir.write("t.zip", "an archive the command does not replace");
    Result r = zip(archive, dir.path(), {"a.txt", "missing.txt"});
    EXPECT_EQ(r.code, ERROR_FILE_OPEN);
    EXPECT_EQ(r.output, dir / "missing.txt" + " を開けません：ファイルが見つかりません。");
    r = zip(archive, dir.path(), {"folder"});
    EXPECT_EQ(r.code, ERROR_FILE_OPEN);
    EXPECT_EQ(r.output, dir / "folder" + " を開けません：ファイルではありません。");
    EXPECT_EQ(ReadAll(archive), "an archive the command does not replace");
    r = zip(dir / "no/such/folder/t.zip", dir.path(), {"a.txt"});
    EXPECT_EQ(r.code, ERROR_CANNOT_WRITE);
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"a.txt", "t.zip"}));
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST_F(ZipWriterTest, WriteFailuresFailThePackAndLeaveNothing) {
    TempDir dir;
    dir.write("a.bin", RandomBytes(1 << 20));
    dir.write("b.txt", halfCompressible(1 << 20, 3));

    // A file size limit: writing past it fails (EFBIG) as on a full disk.
    {
        std::string archive = dir / "t.zip";
        struct rlimit old;
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old;
        limited.rlim_cur = 300000;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        Result r = zip(archive, dir.path(), {"a.bin", "b.txt"});
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(r.code, ERROR_CANNOT_WRITE);
        EXPECT_EQ(r.output, archive + " に書き込めません：ファイルが大きすぎます。");
        EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"a.bin", "b.txt"}));
    }

    // A really full disk: a small file system where mounting one is allowed (as root on Linux).
    std::string small = dir.mkdir("small");
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") == 0) {
        Result r = zip(small + "/t.zip", dir.path(), {"a.bin", "b.txt"});
        EXPECT_EQ(r.code, ERROR_CANNOT_WRITE);
        EXPECT_EQ(r.output, small + "/t.zip に書き込めません：ディスクの空き容量が足りません。");
        EXPECT_TRUE(filesIn(small).empty());
        ::umount(small.c_str());
    } else {
        std::printf("note: no tmpfs could be mounted, the full-disk case ran with the size limit only\n");
    }
}
#endif

TEST_F(ZipWriterTest, DeflateThatCannotStartIsAnError) {
    TempDir dir;
    dir.write("b.txt", halfCompressible(100000, 3));
    faults.DeflateInitFails = true;
    Result r = zip(dir / "t.zip", dir.path(), {"b.txt"});
    EXPECT_EQ(r.code, ERROR_CANNOT_WRITE);
    EXPECT_EQ(r.output, "圧縮の準備ができません：メモリが足りません。");
    EXPECT_FALSE(fs::exists(dir / "t.zip"));
    // Storing needs no deflate stream.
    r = zip(dir / "t.zip", dir.path(), {"b.txt"}, " -D -0 -X");
    EXPECT_EQ(r.code, 0) << r.output;
}

// Members of every kind the writer tells apart, in an order that keeps the compressing threads waiting
// for the writer and the writer waiting for them; the archive must hold each exactly.
TEST_F(ZipWriterTest, EveryKindOfMemberWithAndWithoutThreads) {
    TempDir dir;
    std::string zeros(1 << 20, '\0');
    std::string textThenRandom = halfCompressible(20000, 4) + RandomBytes(200000, 5);
    // A first part that shrinks a little, then data that does not: deflated, it ends up larger.
    std::string barelyThenRandom;
    {
        std::mt19937 rng(6);
        for (int i = 0; i < 16384; ++i)
            barelyThenRandom += static_cast<char>(rng() % 200);
        barelyThenRandom += RandomBytes(3800000, 7);
    }
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a/empty", ""},
        {"a/one", "1"},
        {"b/big1.txt", halfCompressible(12 << 20, 8)}, // more deflated data than may wait in memory
        {"b/big2.txt", halfCompressible(10 << 20, 9)},
        {"c/random.png", RandomBytes(700000, 10)}, // stored, more than the first chunk
        {"c/random-then-text", RandomBytes(20000, 11) + halfCompressible(300000, 12)},
        {"d/barely-then-random", barelyThenRandom},
        {"d/text-then-random", textThenRandom},
        {"e/zeros-with-tail", zeros + zeros + "tail" + zeros},
        {"f/small.txt", halfCompressible(3000, 13)},
    };
    std::vector<std::string> names;
    for (const auto& [name, content] : files) {
        dir.write(name, content);
        names.push_back(name);
    }
    // Stored: empty, one byte (deflate would grow it), random, and the one that is random but for its
    // first part. A random first part does not make a text stored.
    const std::vector<int> methods = {0, 0, 8, 8, 0, 8, 0, 8, 8, 8};
    // As many compressing threads as there are cores, one, or none: the writer then compresses itself.
    for (int threads : {-1, 1, 0}) {
        faults.ThreadsThatStart = threads;
        std::string archive = dir / ("t" + std::to_string(threads + 1) + ".zip");
        Result r = zip(archive, dir.path(), names);
        ASSERT_EQ(r.code, 0) << r.output;
        std::vector<ZipMember> headers = ReadZipHeaders(archive);
        ASSERT_EQ(headers.size(), files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(headers[i].name, files[i].first);
            EXPECT_TRUE(headers[i].crcOk) << files[i].first;
            EXPECT_EQ(headers[i].size, files[i].second.size()) << files[i].first;
            EXPECT_EQ(headers[i].method, methods[i]) << files[i].first << " with " << threads;
            EXPECT_EQ(headers[i].centralExtraIds + headers[i].localExtraIds, "--") << files[i].first;
            EXPECT_EQ(headers[i].centralFlags, headers[i].localFlags) << files[i].first;
        }
        EXPECT_EQ(unzipTest(archive), "");
        std::string out = dir.mkdir("out" + std::to_string(threads + 1));
        RunShell("cd '" + out + "' && unzip -q '" + archive + "'");
        for (const auto& [name, content] : files)
            EXPECT_TRUE(ReadAll(out + "/" + name) == content) << name;
    }
}

// A member of more than 4 GiB gets the zip64 fields it needs, and only it; a sparse file costs no disk,
// and its runs of zeros are deflated fast.
TEST_F(ZipWriterTest, MemberOverFourGibibytesUsesZip64) {
    TempDir dir;
    const uint64_t size = (4ull << 30) + (1 << 20) + 7;
    // A CP932 name with a second byte 0x5C: extractors keep its bytes only while the member says Unix.
    std::string big = dir.write("ソ表.dat", "start");
    fs::resize_file(fs::u8path(big), size);
    dir.write("a.txt", "before the big one");
    dir.write("z.txt", "after the big one");
    std::string archive = dir / "t.zip";
    Result r{};
    auto start = std::chrono::steady_clock::now();
    const long peak = PeakKiBAbove([&] {
        r = zip(archive, dir.path(), {"a.txt", "\x83\x5C\x95\x5C.dat", "z.txt"});
    });
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.code, 0) << r.output;
    std::printf("packed %llu bytes in %.1f s, %ld KiB of memory at most\n",
                static_cast<unsigned long long>(size), seconds, peak);
    EXPECT_LT(peak, 64 * 1024);

    // Every reader takes the headers; unzip reads the data and checks the CRCs (reading it once is enough).
    EXPECT_EQ(ArchiveReadersComplaints(archive, false), "");
    EXPECT_EQ(unzipTest(archive), "");
    EXPECT_EQ(RunShell("unzip -Z1 '" + archive + "'"), "a.txt\n\x83\x5C\x95\x5C.dat\nz.txt\n");
    std::vector<ZipMember> headers = ReadZipHeaders(archive, false);
    ASSERT_EQ(headers.size(), 3u);
    EXPECT_EQ(headers[1].name, "\x83\x5C\x95\x5C.dat");
    for (const ZipMember& m : headers)
        EXPECT_EQ(m.madeBy, 3u) << m.name;
    EXPECT_EQ(headers[1].size, size);
    EXPECT_EQ(headers[1].method, 8);
    EXPECT_LT(headers[1].compressedSize, size / 500);
    EXPECT_EQ(headers[1].localExtraIds, "1");
    EXPECT_EQ(headers[1].centralExtraIds, "1");
    EXPECT_EQ(headers[1].versionNeeded, 45u);
    for (const ZipMember& m : headers)
        EXPECT_FALSE(m.utf8Flag()) << m.name;
    for (size_t i : {0, 2})
        EXPECT_EQ(headers[i].centralExtraIds + headers[i].localExtraIds, "--") << headers[i].name;
}

// Whether a member is deflated is judged over the whole file, not its head: a text behind a picture's worth
// of random bytes is deflated (the random file beside it is still stored).
TEST_F(ZipWriterTest, StoreOrDeflateLooksBeyondTheHead) {
    TempDir dir;
    const std::string textBehind = RandomBytes(16 << 10, 20) + halfCompressible(4500000, 21);
    const std::string randomBehind = RandomBytes(4 << 20, 23);
    dir.write("text-behind.dat", textBehind);
    dir.write("random-behind.dat", randomBehind);
    std::string archive = dir / "t.zip";
    Result r = zip(archive, dir.path(), {"text-behind.dat", "random-behind.dat"});
    ASSERT_EQ(r.code, 0) << r.output;
    std::vector<ZipMember> headers = ReadZipHeaders(archive);
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[0].method, 8);
    EXPECT_LT(headers[0].compressedSize, textBehind.size() * 6 / 10);
    EXPECT_EQ(headers[1].method, 0);
    EXPECT_EQ(ArchiveReadersComplaints(archive), "");
}

// A member that might reach 4 GiB gets its local header's zip64 field when it is begun; when it stays
// smaller the sizes are moved into that field afterwards. The sizes where this happens (0xFF000000 up to
// 4 GiB) are brought down here, so that stored and deflated members of every path take that step fast;
// the test just under 4 GiB below shows what a reader makes of the header without it.
TEST_F(ZipWriterTest, ZipSixtyFourFieldsOfMembersThatStayedSmallSatisfyEveryReader) {
    TempDir dir;
    dir.write("a.txt", "small");
    dir.write("stored.bin", RandomBytes(300000, 30));        // stored, read past the first chunk
    dir.write("deflated.txt", halfCompressible(400000, 31)); // deflated
    dir.write("ソ表.txt", halfCompressible(5000, 32));
    faults.Zip64Size = 4000;
    std::string archive = dir / "t.zip";
    Result r = zip(archive, dir.path(), {"a.txt", "stored.bin", "deflated.txt", "\x83\x5C\x95\x5C.txt"});
    ASSERT_EQ(r.code, 0) << r.output;
    std::vector<ZipMember> headers = ReadZipHeaders(archive);
    ASSERT_EQ(headers.size(), 4u);
    EXPECT_EQ(headers[0].localExtraIds, "-");
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(headers[i].localExtraIds, "1") << headers[i].name;
        EXPECT_TRUE(headers[i].crcOk) << headers[i].name;
    }
    for (const ZipMember& m : headers)
        EXPECT_EQ(m.madeBy, 3u) << m.name;
    EXPECT_EQ(headers[1].method, 0);
    EXPECT_EQ(headers[2].method, 8);
    EXPECT_EQ(ArchiveReadersComplaints(archive), "");
}

// Just under 4 GiB: the size needs no zip64 field but the member is begun with one, in case the file grows
// while it is read; what the readers find must still agree.
TEST_F(ZipWriterTest, MemberJustUnderFourGibibytesSatisfiesEveryReader) {
    TempDir dir;
    const uint64_t size = 0xFFFFF000u;
    std::string big = dir.write("ソ表.dat", "start");
    fs::resize_file(fs::u8path(big), size);
    dir.write("z.txt", "after the big one");
    std::string archive = dir / "t.zip";
    auto start = std::chrono::steady_clock::now();
    Result r = zip(archive, dir.path(), {"\x83\x5C\x95\x5C.dat", "z.txt"});
    ASSERT_EQ(r.code, 0) << r.output;
    std::printf("packed in %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::vector<ZipMember> headers = ReadZipHeaders(archive, false);
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[0].size, size);
    EXPECT_EQ(headers[0].madeBy, 3u);
    EXPECT_EQ(RunShell("unzip -Z1 '" + archive + "'"), "\x83\x5C\x95\x5C.dat\nz.txt\n");
    // Every reader takes the headers; 7-Zip, which compares the local header with the data it finds,
    // reads the data once.
    EXPECT_EQ(ArchiveReadersComplaints(archive, false), "");
    int status = -1;
    std::string out = RunShell("7z t -bd '" + archive + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    std::printf("checked in %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
