// Network update against curl's command-line client, both uploading the generated ghost tree to the same
// local FTP server (pyftpdlib, then vsftpd over implicit TLS), curl over one connection and ours over the
// connections it is set to; then a run with nothing changed, and one with ten changed files.
#include "GhostTree.h"
#include "jobs/FTPClient.h"
#include "jobs/Settings.h"
#include "support/FtpServer.h"
#include "support/JobFixtures.h"
#include "support/VsftpdServer.h"
#include "updatelist/Updates2dau.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

struct MinMax {
    double min = 1e300, max = 0;
    void add(double s) {
        min = std::min(min, s);
        max = std::max(max, s);
    }
};

// Empties a server folder, keeping the folder itself (and its owner).
void emptyFolder(const std::string& folder) {
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(folder))
        fs::remove_all(entry.path());
}

// The files the server received, as paths below the upload directory.
int storCount(const FtpServer& server, std::vector<std::string>* names = nullptr) {
    std::vector<std::string> received = server.received();
    if (names)
        for (const std::string& f : received)
            names->push_back(f.rfind("pub/", 0) == 0 ? f.substr(4) : f);
    return static_cast<int>(received.size());
}

// Keeps the line that says why a job failed.
struct LastLines : LogSink {
    void Add(const std::string& line) override {
        if (line.find("出来ませんでした") != std::string::npos || line.find("失敗") != std::string::npos)
            failure = line;
    }
    std::string failure;
};

} // namespace

int main(int argc, char** argv) {
    auto [work, runs, tree] = PrepareBench(argc, argv);
    FtpServer server;

    auto ours = NetworkJob(server, tree.root, tree.patterns, "pub", 4);
    TSettings& job = *ours;
    job.ClientOptions = FTPClientOptions(); // the real time-outs

    // First upload, ours against curl (one invocation, one connection, every file to its place), each
    // starting from an empty upload directory.
    auto compare = [&](const char* label, TSettings& uploader, const std::string& url,
                       const std::string& curlOptions, const std::string& remote,
                       const std::function<int()>& sentFiles) {
        std::string config = work + "/curl-upload.cfg";
        {
            std::ofstream out(config);
            out << "ftp-create-dirs\nsilent\nshow-error\n" << curlOptions;
            for (const std::string& rel : tree.files)
                out << "upload-file = \"" << tree.root << rel << "\"\nurl = \"" << url << rel << "\"\n";
        }
        MinMax ours, curl;
        for (int i = 0; i < runs; ++i) {
            emptyFolder(remote);
            sentFiles(); // counts from here
            LastLines log;
            uploader.LogLines = &log;
            double t = BestSeconds(1, [&] {
                if (!uploader.Run())
                    std::printf("our upload failed: %s\n", log.failure.c_str());
            });
            uploader.LogLines = nullptr;
            int sent = sentFiles();
            if (sent >= 0 && sent != static_cast<int>(tree.files.size()) + 1)
                return std::printf("our first upload sent %d files\n", sent), false;
            ours.add(t);
            emptyFolder(remote);
            int rc = 0;
            curl.add(BestSeconds(1, [&] { rc = std::system(("curl -K '" + config + "'").c_str()); }));
            if (rc != 0)
                return std::printf("curl failed\n"), false;
        }
        std::printf(
            "%s: first upload of %zu files, %.0f MB: ours min %.3f s max %.3f s; curl min %.3f s max %.3f s; "
            "ratio of minima %.3f (target <= 0.8)\n",
            label, tree.files.size(), static_cast<double>(tree.totalBytes) / 1e6, ours.min, ours.max,
            curl.min, curl.max, ours.min / curl.min);
        return true;
    };
    if (!compare("pyftpdlib", job, "ftp://" + server.address() + "/pub/", "user = \"user:secret\"\n",
                 server.root() + "pub", [&] {
                     int n = storCount(server);
                     server.clearLog();
                     return n;
                 }))
        return 1;
    {
        // vsftpd answers a command far faster than pyftpdlib, so the client's own share shows better.
        VsftpdServer fast(Certificates().serverCert, Certificates().serverKey);
        TSettings tls;
        tls.Name = "bench-tls";
        tls.OwnFTP = std::make_unique<TFTPConfig>();
        tls.OwnFTP->Server = fast.address();
        tls.OwnFTP->ID = "anonymous";
        tls.OwnFTP->SetPassword("guest");
        tls.OwnFTP->Passive = true;
        tls.OwnFTP->SSL = true;
        tls.ClientOptions.CAFile = Certificates().caFile;
        tls.Directory = "pub";
        tls.TargetFolder = tree.root;
        tls.ProcessName = tree.patterns;
        if (!compare("vsftpd, implicit TLS", tls, "ftps://" + fast.address() + "/pub/",
                     "user = \"anonymous:guest\"\ncacert = \"" + Certificates().caFile +
                         "\"\ntls-max = 1.2\n",
                     fast.pub(), [] { return -1; }))
            return 1;
    }

    // Bring the server up to date with our list, then a run in which nothing changed.
    emptyFolder(server.root() + "pub");
    job.Run();
    server.clearLog();
    double unchanged = BestSeconds(runs, [&] { job.Run(); });
    int sent = storCount(server);
    double reference = BestSeconds(runs, [&] {
        TUpdates2dau list;
        list.BaseFolder = job.BaseFolder();
        list.Build(job.ProcessName, job.ExcludeName);
        TFTPClient ftp;
        ftp.Host = server.address();
        ftp.Username = "user";
        ftp.Password = "secret";
        ftp.Passive = true;
        ftp.Connect();
        ftp.ChangeDir("pub");
        std::string copy = work + "/list-copy.dau";
        fs::remove(copy);
        ftp.Get("updates2.dau", copy);
        ftp.Quit();
    });
    std::printf(
        "nothing changed: %.3f s; Build plus one download of the list: %.3f s; ratio %.3f (target <= 1.2); "
        "files sent: %d\n",
        unchanged, reference, unchanged / reference, sent);

    // Ten changed files.
    std::vector<std::string> changed;
    for (size_t i = 0; i < 10; ++i) {
        const std::string& rel = tree.files[i * tree.files.size() / 10];
        std::ofstream(tree.root + rel, std::ios::app) << "x";
        changed.push_back(rel);
    }
    server.clearLog();
    double tenTime = BestSeconds(1, [&] { job.Run(); });
    std::vector<std::string> names;
    storCount(server, &names);
    std::sort(changed.begin(), changed.end());
    std::vector<std::string> expected = changed;
    expected.push_back("updates2.dau.uploading"); // published by renaming
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    bool exact = names == expected;
    std::printf("ten changed: %.3f s, %zu files sent (%s)\n", tenTime, names.size(),
                exact ? "exactly the ten and updates2.dau" : "NOT the expected files");
    // Put the tree back as generated for later runs.
    fs::remove(work + "/ghost-tree/.complete-v2-1");
    return exact ? 0 : 1;
}
