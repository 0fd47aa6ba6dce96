// Packing the generated ghost tree with the archive component (built-in zip writer) against Info-ZIP
// `zip -9 -X -D` on the same files in the same run: time and archive size.
#include "GhostTree.h"
#include "archive/ArchiveFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    auto [work, runs, tree] = PrepareBench(argc, argv);

    std::vector<std::string> names;
    for (const std::string& rel : tree.files) {
        std::string backslashed = rel;
        for (char& c : backslashed)
            if (c == '/')
                c = '\\';
        names.push_back(backslashed);
    }
    std::string ours = work + "/ours.zip", theirs = work + "/theirs.zip";
    double tOurs = BestSeconds(runs, [&] {
        TArchiveFile archive;
        archive.SetFileName(ours);
        TArchiverOptions options;
        options.UserOptions = "-9 -X";
        int rc = archive.PackFiles(nullptr, &options, tree.root, {names});
        if (rc != 0)
            std::printf("pack failed: %d\n", rc);
    });

    std::string list = work + "/zip-list.txt";
    {
        std::ofstream out(list);
        for (const std::string& rel : tree.files)
            out << rel << '\n';
    }
    int rc = 0;
    double tZip = BestSeconds(runs, [&] {
        fs::remove(theirs);
        rc = std::system(
            ("cd '" + tree.root + "' && zip -q -9 -X -D '" + theirs + "' -@ < '" + list + "'").c_str());
    });
    if (rc != 0)
        return std::printf("zip failed\n"), 1;
    double sOurs = static_cast<double>(fs::file_size(ours)),
           sZip = static_cast<double>(fs::file_size(theirs));
    std::printf("pack %zu files, %.0f MB: ours %.3f s, zip %.3f s, time ratio %.3f (target <= 1.0); "
                "size ours %.0f, zip %.0f, size ratio %.4f (target <= 1.01)\n",
                tree.files.size(), static_cast<double>(tree.totalBytes) / 1e6, tOurs, tZip, tOurs / tZip,
                sOurs, sZip, sOurs / sZip);
    return 0;
}
