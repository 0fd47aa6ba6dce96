#pragma once

#include <functional>
#include <string>
#include <vector>

/// A generated ghost tree for benchmarks: about 1,500 files and 150 MB in the folders of a real ghost,
/// text (compressible) and binary (incompressible, like images) content, from a fixed seed so every run
/// measures the same files.
struct GhostTree {
    std::string root;               ///< base folder, with a trailing '/'
    std::vector<std::string> files; ///< relative paths with '/'
    std::string patterns;           ///< include patterns selecting every file, CR LF separated
    unsigned long long totalBytes = 0;
};

/// Creates the tree under `root` unless a complete one from the same seed is already there.
GhostTree MakeGhostTree(const std::string& root, unsigned seed = 1);

/// Reads every file once so that timings measure a warm cache.
void WarmCache(const GhostTree& tree);

/// Seconds of wall time of `f`, the best of `runs`.
double BestSeconds(int runs, const std::function<void()>& f);

/// What every benchmark starts from: its working folder (argument 1, default /tmp/quillon-bench), the
/// number of runs (argument 2, default 3) and the generated tree in the page cache.
struct BenchSetup {
    std::string work;
    int runs = 3;
    GhostTree tree;
};
BenchSetup PrepareBench(int argc, char** argv);
