// Publishing to a distant host: a first network update of a 200-file ghost in 7 folders (5.5 MB) to a
// server that holds every reply and every data connection back one round trip (20 ms), against lftp's
// `mirror -R`, sequential and with --parallel=4, on the same server in the same run; then ten changed
// files, with the round trips they cost as the server's log counts them.
#include "GhostTree.h"
#include "jobs/Settings.h"
#include "support/FtpServer.h"
#include "support/JobFixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

constexpr int RoundTripMs = 20;

void emptyFolder(const std::string& folder) {
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(folder))
        fs::remove_all(entry.path());
}

// 200 files of about 27 KB in 7 folders, half text and half incompressible, from a fixed seed.
std::vector<std::string> makeSmallGhost(const std::string& root) {
    const char* folders[] = {
        "",           "ghost/master/",   "ghost/master/saori/", "ghost/master/system/", "shell/master/",
        "shell/sub/", "balloon/default/"};
    std::mt19937_64 rng(7);
    std::vector<std::string> files;
    for (int i = 0; i < 200; ++i) {
        std::string rel =
            std::string(folders[i % 7]) + "file" + std::to_string(i) + (i % 2 ? ".png" : ".dic");
        fs::create_directories(fs::path(root + rel).parent_path());
        std::string data(27500, '\0');
        for (char& c : data)
            c = i % 2 ? static_cast<char>(rng()) : static_cast<char>('a' + rng() % 26);
        std::ofstream(root + rel, std::ios::binary) << data;
        files.push_back(rel);
    }
    return files;
}

} // namespace

int main(int argc, char** argv) {
    std::string work = argc > 1 ? argv[1] : "/tmp/quillon-bench";
    int runs = argc > 2 ? std::atoi(argv[2]) : 2;
    std::string root = work + "/distant-ghost/";
    fs::remove_all(root);
    std::vector<std::string> files = makeSmallGhost(root);

    FtpServer::Config config;
    config.switches = {"--latency-ms", std::to_string(RoundTripMs)};
    FtpServer server(config);
    const std::string pub = server.root() + "pub";

    auto distant = NetworkJob(server, root, "", "pub", argc > 3 ? std::atoi(argv[3]) : 4);
    TSettings& job = *distant;
    job.ClientOptions = FTPClientOptions(); // the real time-outs
    job.ProcessName = "*.*\r\nghost/master/*.*\r\nghost/master/saori/*.*\r\nghost/master/system/*.*\r\n"
                      "shell/master/*.*\r\nshell/sub/*.*\r\nballoon/default/*.*\r\n";

    auto lftp = [&](int parallel) {
        std::string command =
            "lftp -c 'set cmd:fail-exit yes; set ftp:passive-mode on; set net:max-retries 1; "
            "open -u user,secret ftp://" +
            server.address() + "; mirror -R --no-perms" +
            (parallel > 1 ? " --parallel=" + std::to_string(parallel) : "") + " " + root +
            " /pub' >/dev/null";
        return BestSeconds(1, [&] {
            if (std::system(command.c_str()) != 0)
                std::printf("lftp failed\n");
        });
    };
    double ours = 1e300, sequential = 1e300, parallel = 1e300;
    for (int i = 0; i < runs; ++i) {
        emptyFolder(pub);
        ours = std::min(ours, BestSeconds(1, [&] {
                            if (!job.Run())
                                std::printf("our upload failed\n");
                        }));
        if (static_cast<size_t>(std::count_if(fs::recursive_directory_iterator(pub), {}, [](const auto& e) {
                return e.is_regular_file();
            })) != files.size() + 1)
            return std::printf("our upload is incomplete\n"), 1;
        emptyFolder(pub);
        sequential = std::min(sequential, lftp(1));
        emptyFolder(pub);
        parallel = std::min(parallel, lftp(4));
    }
    std::printf(
        "distant host (%d ms per round trip): first upload of %zu files, 5.5 MB, with %d connections: "
        "ours %.2f s; lftp mirror -R %.2f s, --parallel=4 %.2f s; ratio to lftp %.3f, to lftp "
        "--parallel=4 %.3f (target <= 1.0)\n",
        RoundTripMs, files.size(), job.OwnFTP->Connections, ours, sequential, parallel, ours / sequential,
        ours / parallel);

    // Ten changed files: what they cost beyond connecting and fetching the list.
    emptyFolder(pub);
    job.Run();
    for (size_t i = 0; i < 10; ++i)
        std::ofstream(root + files[i * 19], std::ios::app) << "changed";
    server.clearLog();
    double ten = BestSeconds(1, [&] { job.Run(); });
    std::vector<std::string> all = server.commands();
    size_t fetched = 0;
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].rfind("RETR", 0) == 0)
            fetched = i + 1;
    int afterList = 0, dataConnections = 0;
    for (size_t i = fetched; i < all.size(); ++i) {
        // Logins of further connections belong to connecting, like the first one's.
        std::string verb = all[i].substr(0, all[i].find(' '));
        if (verb == "#" || verb == "QUIT" || verb == "USER" || verb == "PASS" || verb == "PWD" ||
            verb == "TYPE")
            continue;
        ++afterList;
        dataConnections += all[i].rfind("EPSV", 0) == 0 || all[i].rfind("PASV", 0) == 0;
    }
    int received = static_cast<int>(server.received().size());
    std::printf("ten changed files: %.2f s, %d files received; after the list: %d commands and %d data "
                "connections (logins left out), %.1f round trips per changed file, the list's publication "
                "included (target <= 5)\n",
                ten, received, afterList, dataConnections, (afterList + dataConnections) / 10.0);
    return 0;
}
