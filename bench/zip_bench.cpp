// Packing the generated ghost tree with the archive component (built-in zip writer) against Info-ZIP
// `zip -9 -X -D` on the same files in the same run: time on every core and pinned to one core, archive
// size; then the peak memory of packing a 1 GiB file.
#include "GhostTree.h"
#include "OneCore.h"
#include "archive/ArchiveFile.h"
#include "platform/File.h"
#include "support/PeakMemory.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <libdeflate.h>
#include <random>
#include <sched.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

int pack(const std::string& archive, const std::string& base, const std::vector<std::string>& names) {
    TArchiveFile component;
    component.SetFileName(archive);
    TArchiverOptions options;
    options.UserOptions = "-9 -X";
    return component.PackFiles(nullptr, &options, base, {names});
}

// A 1 GiB file made once in the working folder: random bytes (stored), or one random 4 KiB block over and
// over with 16 of its bytes changed each time (deflated to some 19 MB, more than a member may keep waiting
// in memory).
std::string bigFile(const std::string& work, bool repeating) {
    std::string path = work + (repeating ? "/big-repeating-v3.bin" : "/big-random.bin");
    if (fs::exists(path) && fs::file_size(path) == (1u << 30))
        return path;
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 rng(5);
    std::vector<uint64_t> block(repeating ? 512 : 1 << 17);
    for (uint64_t& v : block)
        v = rng();
    for (int i = 0; i < (1 << 30) / static_cast<int>(block.size() * 8); ++i) {
        if (!repeating)
            for (uint64_t& v : block)
                v = rng();
        else
            for (int k = 0; k < 16; ++k)
                reinterpret_cast<unsigned char*>(block.data())[rng() % (block.size() * 8)] =
                    static_cast<unsigned char>(rng());
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 8));
    }
    return path;
}

// The tree's compressible files (the only ones any deflater shrinks) through zlib -9, which the writer uses,
// and libdeflate's levels: their size, one core's time, and the size ratio the archive would have.
void compareDeflaters(const GhostTree& tree, double sOurs, double sZip) {
    std::vector<std::string> texts;
    size_t bytes = 0;
    for (const std::string& rel : tree.files) {
        std::string ext = fs::path(rel).extension().string();
        if (ext == ".dic" || ext == ".txt") {
            std::ifstream in(tree.root + rel, std::ios::binary);
            texts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            bytes += texts.back().size();
        }
    }
    std::vector<unsigned char> out;
    auto measure = [&](auto&& deflateOne) {
        auto start = std::chrono::steady_clock::now();
        size_t total = 0;
        for (const std::string& t : texts)
            total += deflateOne(t);
        return std::make_pair(
            total, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    };
    auto [zlibSize, zlibTime] = measure([&](const std::string& t) {
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        out.resize(deflateBound(&z, t.size()));
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(t.data()));
        z.avail_in = static_cast<uInt>(t.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_FINISH);
        size_t n = z.total_out;
        deflateEnd(&z);
        return n;
    });
    std::printf("  its %zu compressible files (%.1f MB): zlib -9 %zu bytes in %.2f s\n", texts.size(),
                static_cast<double>(bytes) / 1e6, zlibSize, zlibTime);
    for (int level : {9, 10, 12}) {
        libdeflate_compressor* c = libdeflate_alloc_compressor(level);
        auto [size, time] = measure([&](const std::string& t) {
            out.resize(libdeflate_deflate_compress_bound(c, t.size()));
            return libdeflate_deflate_compress(c, t.data(), t.size(), out.data(), out.size());
        });
        libdeflate_free_compressor(c);
        std::printf(
            "    libdeflate -%d instead: %zu bytes in %.2f s, the archive's size ratio would be %.4f\n",
            level, size, time, (sOurs - static_cast<double>(zlibSize) + static_cast<double>(size)) / sZip);
    }
}

} // namespace

int main(int argc, char** argv) {
    auto [work, runs, tree] = PrepareBench(argc, argv);

    // Peak memory packing a 1 GiB file: zeros (a sparse file, deflated) and random bytes (stored), first,
    // while no pack has left memory behind in the allocator for later ones to reuse.
    std::string zeros = work + "/big-zeros.bin";
    { std::ofstream(zeros) << "start"; }
    fs::resize_file(zeros, 1u << 30);
    std::string random = bigFile(work, false), repeating = bigFile(work, true);
    std::string big = work + "/big.zip";
    for (const std::string& file : {zeros, random, repeating}) {
        int rc = 0;
        auto start = std::chrono::steady_clock::now();
        long kib = PeakKiBAbove([&] { rc = pack(big, work + "/", {fs::path(file).filename().string()}); });
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("1 GiB %s: %.1f s, peak memory %.1f MB above the baseline (target < 64 MB)%s\n",
                    file == zeros    ? "of zeros (sparse, deflated)"
                    : file == random ? "of random bytes (stored)"
                                     : "of a changing random block (deflated to some 19 MB)",
                    seconds, static_cast<double>(kib) * 1024 / 1e6, rc == 0 ? "" : " PACK FAILED");
        fs::remove(big);
    }

    std::vector<std::string> names;
    for (const std::string& rel : tree.files) {
        std::string backslashed = rel;
        for (char& c : backslashed)
            if (c == '/')
                c = '\\';
        names.push_back(backslashed);
    }
    std::string ours = work + "/ours.zip", theirs = work + "/theirs.zip";
    std::string list = work + "/zip-list.txt";
    {
        std::ofstream out(list);
        for (const std::string& rel : tree.files)
            out << rel << '\n';
    }
    int rcOurs = 0, rcZip = 0;
    auto timeOurs = [&] { return BestSeconds(runs, [&] { rcOurs |= pack(ours, tree.root, names); }); };
    auto timeZip = [&] {
        return BestSeconds(runs, [&] {
            fs::remove(theirs);
            rcZip |= std::system(
                ("cd '" + tree.root + "' && zip -q -9 -X -D '" + theirs + "' -@ < '" + list + "'").c_str());
        });
    };

    double ours2 = timeOurs(), zip2 = timeZip();
    double ours1, zip1;
    {
        OneCore pinned;
        ours1 = timeOurs();
        zip1 = timeZip();
    }
    if (rcOurs != 0 || rcZip != 0)
        return std::printf("pack failed: ours %d, zip %d\n", rcOurs, rcZip), 1;

    double sOurs = static_cast<double>(fs::file_size(ours)),
           sZip = static_cast<double>(fs::file_size(theirs));
    std::printf("pack %zu files, %.0f MB, best of %d:\n", tree.files.size(),
                static_cast<double>(tree.totalBytes) / 1e6, runs);
    std::printf("  all %u cores: ours %.3f s, zip %.3f s, time ratio %.3f (target <= 0.3)\n", UsableCores(),
                ours2, zip2, ours2 / zip2);
    std::printf("  one core:    ours %.3f s, zip %.3f s, time ratio %.3f (target <= 0.6)\n", ours1, zip1,
                ours1 / zip1);
    std::printf("  size: ours %.0f, zip %.0f, size ratio %.4f (target <= 0.995)\n", sOurs, sZip,
                sOurs / sZip);
    compareDeflaters(tree, sOurs, sZip);
    fs::remove(ours);
    fs::remove(theirs);

    return 0;
}
