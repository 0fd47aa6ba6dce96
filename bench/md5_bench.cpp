// MD5 throughput against OpenSSL's in the same run, and the memory used while digesting a large file.
#include "GhostTree.h"
#include "updatelist/MD5.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <openssl/evp.h>
#include <random>
#include <string>
#include <unistd.h>

namespace {

long peakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

std::string opensslMd5(const void* data, size_t size) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(data, size, out, &n, EVP_md5(), nullptr);
    char hex[33];
    for (unsigned i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", out[i]);
    return hex;
}

// The reference for files: OpenSSL fed by the same 8192-byte read loop.
std::string opensslMd5File(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
    unsigned char buffer[8192];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        EVP_DigestUpdate(ctx, buffer, static_cast<size_t>(n));
    ::close(fd);
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx, out, &len);
    EVP_MD_CTX_free(ctx);
    char hex[33];
    for (unsigned i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", out[i]);
    return hex;
}

} // namespace

int main(int argc, char** argv) {
    std::string work = argc > 1 ? argv[1] : "/tmp/quillon-bench";
    std::filesystem::create_directories(work);

    // Memory: a 1 GiB file must not be held in memory.
    std::string big = work + "/big-1GiB.bin";
    {
        std::ofstream out(big, std::ios::binary | std::ios::trunc);
        std::string chunk(1 << 20, '\0');
        std::mt19937_64 rng(3);
        for (size_t i = 0; i < chunk.size(); i += 8) {
            uint64_t v = rng();
            std::memcpy(&chunk[i], &v, 8);
        }
        for (int i = 0; i < 1024; ++i)
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    long before = peakRssKiB();
    std::string digest = MD5File(big);
    long after = peakRssKiB();
    std::printf(
        "memory: peak RSS %ld KiB before, %ld KiB after digesting 1 GiB (growth %ld KiB, limit 20480 KiB)\n",
        before, after, after - before);
    std::remove(big.c_str());
    if (digest.empty())
        return std::printf("MD5File failed on the 1 GiB file\n"), 1;

    // Buffer: 256 MiB.
    std::string buffer(256u << 20, '\0');
    std::mt19937_64 rng(5);
    for (size_t i = 0; i < buffer.size(); i += 8) {
        uint64_t v = rng();
        std::memcpy(&buffer[i], &v, 8);
    }
    std::string ours, theirs;
    double tOurs = BestSeconds(3, [&] { ours = MD5String(buffer); });
    double tRef = BestSeconds(3, [&] { theirs = opensslMd5(buffer.data(), buffer.size()); });
    if (ours != theirs)
        return std::printf("digest mismatch on the buffer\n"), 1;
    double mb = static_cast<double>(buffer.size()) / 1e6;
    std::printf("buffer 256 MiB: ours %.0f MB/s, OpenSSL %.0f MB/s, ratio %.3f (target >= 0.85)\n",
                mb / tOurs, mb / tRef, tRef / tOurs);

    // Files: the generated ghost tree, warm cache.
    GhostTree tree = MakeGhostTree(work + "/ghost-tree");
    WarmCache(tree);
    for (const std::string& rel : tree.files)
        if (MD5File(tree.root + rel) != opensslMd5File(tree.root + rel))
            return std::printf("digest mismatch on %s\n", rel.c_str()), 1;
    double tFilesOurs = BestSeconds(3, [&] {
        for (const std::string& rel : tree.files)
            MD5File(tree.root + rel);
    });
    double tFilesRef = BestSeconds(3, [&] {
        for (const std::string& rel : tree.files)
            opensslMd5File(tree.root + rel);
    });
    double treeMb = static_cast<double>(tree.totalBytes) / 1e6;
    std::printf("files (%zu, %.0f MB): ours %.0f MB/s, OpenSSL %.0f MB/s, ratio %.3f (target >= 0.85)\n",
                tree.files.size(), treeMb, treeMb / tFilesOurs, treeMb / tFilesRef, tFilesRef / tFilesOurs);
    return 0;
}
