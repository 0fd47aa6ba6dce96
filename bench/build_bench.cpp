// Build (selection and digests) over a generated ghost tree against md5sum over the same files.
#include "GhostTree.h"
#include "updatelist/Updates2dau.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    auto [work, runs, tree] = PrepareBench(argc, argv);

    size_t entries = 0;
    double tBuild = BestSeconds(runs, [&] {
        TUpdates2dau list;
        list.BaseFolder = tree.root;
        list.Build(tree.patterns, "");
        entries = list.Count();
    });
    if (entries != tree.files.size())
        return std::printf("Build selected %zu files, expected %zu\n", entries, tree.files.size()), 1;

    std::string listFile = work + "/files.txt";
    {
        std::ofstream out(listFile);
        for (const std::string& rel : tree.files)
            out << rel << '\0';
    }
    std::string command = "cd '" + tree.root + "' && xargs -0 md5sum -- < '" + listFile + "' > /dev/null";
    int rc = 0;
    double tMd5sum = BestSeconds(runs, [&] { rc = std::system(command.c_str()); });
    if (rc != 0)
        return std::printf("md5sum failed\n"), 1;
    std::printf("Build over %zu files, %.0f MB: %.3f s; md5sum: %.3f s; ratio %.3f (target <= 1.2)\n",
                entries, static_cast<double>(tree.totalBytes) / 1e6, tBuild, tMd5sum, tBuild / tMd5sum);
    return 0;
}
