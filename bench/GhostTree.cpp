#include "GhostTree.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace {

struct Folder {
    const char* path;
    int count;
    const char* extension;
    bool text;
    int minKiB, maxKiB;
};

// Roughly the make-up of a large ghost: many small dictionaries and scripts, many surface images, some
// large images and libraries.
const Folder folders[] = {
    {"ghost/master", 260, "dic", true, 2, 120},
    {"ghost/master", 40, "txt", true, 1, 30},
    {"ghost/master/saori", 12, "dll", false, 40, 600},
    {"ghost/master/system", 60, "dic", true, 2, 60},
    {"shell/master", 700, "png", false, 8, 190},
    {"shell/master", 20, "txt", true, 1, 40},
    {"shell/sub", 300, "png", false, 8, 200},
    {"balloon/default", 90, "png", false, 2, 60},
    {"balloon/default", 6, "txt", true, 1, 8},
    {"plugin/sample", 10, "dll", false, 60, 4000},
    {"", 4, "txt", true, 1, 6},
};

const char* words[] = {"さくら",  "うにゅう",   "ゴースト", "表示", "能力", "ソース", "sakura", "kero",
                       "talk",    "random",     "\\s[0]",   "\\h",  "\\u",  "\\n",    "\\e",    "OnBoot",
                       "OnClose", "reference0", "0",        "1",    "2",    "if",     "else",   "{",
                       "}",       "\"",         ",",        "＝",   "、",   "。"};

void writeContent(const std::string& path, size_t size, bool text, std::mt19937_64& rng) {
    std::string data;
    data.reserve(size + 64);
    if (text) {
        std::uniform_int_distribution<size_t> pick(0, std::size(words) - 1);
        while (data.size() < size) {
            data += words[pick(rng)];
            data += (rng() % 9 == 0) ? "\r\n" : " ";
        }
        data.resize(size);
    } else {
        data.resize(size);
        for (size_t i = 0; i + 8 <= size; i += 8) {
            uint64_t v = rng();
            std::memcpy(&data[i], &v, 8);
        }
    }
    std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

} // namespace

GhostTree MakeGhostTree(const std::string& rootIn, unsigned seed) {
    GhostTree tree;
    tree.root = rootIn.back() == '/' ? rootIn : rootIn + "/";
    std::string marker = tree.root + ".complete-v2-" + std::to_string(seed);
    bool present = fs::exists(marker);
    std::mt19937_64 rng(seed);
    std::set<std::string> patterns;
    for (const Folder& f : folders) {
        std::string dir = f.path[0] ? std::string(f.path) + "/" : "";
        fs::create_directories(tree.root + dir);
        patterns.insert(dir + "*." + f.extension);
        std::uniform_int_distribution<int> kib(f.minKiB, f.maxKiB);
        for (int i = 0; i < f.count; ++i) {
            std::string rel = dir + "file" + std::to_string(i) + "." + f.extension;
            size_t size = static_cast<size_t>(kib(rng)) * 1024 + rng() % 1024;
            if (!present) {
                // Content has a generator of its own so that sizes never depend on whether files were
                // written.
                std::mt19937_64 contentRng(seed * 7919 + tree.files.size());
                writeContent(tree.root + rel, size, f.text, contentRng);
            }
            tree.files.push_back(rel);
            tree.totalBytes += size;
        }
    }
    for (const std::string& p : patterns)
        tree.patterns += p + "\r\n";
    if (!present)
        std::ofstream(marker) << "done\n";
    return tree;
}

void WarmCache(const GhostTree& tree) {
    std::vector<char> buffer(1 << 16);
    for (const std::string& rel : tree.files) {
        std::ifstream in(tree.root + rel, std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())))
            ;
    }
}

double BestSeconds(int runs, const std::function<void()>& f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        f();
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

BenchSetup PrepareBench(int argc, char** argv) {
    BenchSetup setup;
    setup.work = argc > 1 ? argv[1] : "/tmp/quillon-bench";
    setup.runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    fs::create_directories(setup.work);
    setup.tree = MakeGhostTree(setup.work + "/ghost-tree");
    WarmCache(setup.tree);
    return setup;
}
