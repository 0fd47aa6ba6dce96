// The archive-only job over the generated ghost tree, as the user runs it: from Run to the closing line,
// with the log saved to its file, against Info-ZIP `zip -9 -X -D` packing the same files in the same run,
// on every core and pinned to one core. Where the job's time goes is printed beside it: list (selection,
// digests, the logged file list), the update lists written and copied, the pack, and the rest.
#include "GhostTree.h"
#include "OneCore.h"
#include "archive/ArchiveFile.h"
#include "jobs/Settings.h"
#include "platform/File.h"
#include "run/JobRunner.h"
#include "run/LogDocument.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sched.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The log document of the run, timing the lines that end each of the job's steps.
class TimedLog : public LogSink {
public:
    TimedLog(const std::string& folder, const std::tm& created) : document(folder, created) {
        document.SaveFlag = true;
    }
    void Add(const std::string& line) override {
        document.Add(line);
        auto now = Clock::now();
        if (line == "ファイルリストを生成しました。")
            listed = now;
        else if (line == "圧縮処理を開始します。")
            packing = now;
        else if (line == "圧縮処理を終了しました。")
            packed = now;
        else if (line.find("失敗") != std::string::npos || line.find("処理できません") != std::string::npos)
            failure = line;
    }
    LogDocument document;
    Clock::time_point listed, packing, packed;
    std::string failure;
};

struct Phases {
    double total = 1e300, list = 0, lists = 0, pack = 0, rest = 0;
};

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

int main(int argc, char** argv) {
    auto [work, runs, tree] = PrepareBench(argc, argv);

    TSettings job;
    job.Name = "bench";
    job.Kind = TSettings::NarCreate;
    job.OwnFTP = std::make_unique<TFTPConfig>();
    job.TargetFolder = tree.root;
    job.ProcessName = tree.patterns;
    job.NarName = work + "/job-bench.nar";
    const std::string logFolder = work + "/job-bench"; // the program's folder: the log goes into its "log"

    bool failed = false;
    std::string failure;
    int second = 0; // each run's log file gets a name of its own
    auto runJob = [&] {
        Phases p;
        fs::remove_all(logFolder);
        fs::create_directories(logFolder);
        std::tm created = {};
        created.tm_year = 126;
        created.tm_mday = 1;
        created.tm_sec = second++ % 60;
        auto start = Clock::now();
        TimedLog log(logFolder, created);
        RunCounts counts = RunJobs(
            1, [&](int) { return &job; }, log);
        log.Add(SummaryLine(counts));
        auto end = Clock::now();
        if (counts.Succeeded != 1) {
            failed = true;
            failure = log.failure;
        }
        p.total = seconds(start, end);
        p.list = seconds(start, log.listed);
        p.lists = seconds(log.listed, log.packing);
        p.pack = seconds(log.packing, log.packed);
        p.rest = seconds(log.packed, end);
        return p;
    };

    std::string theirs = work + "/job-bench-zip.zip", list = work + "/job-bench-zip-list.txt";
    {
        std::ofstream out(list);
        for (const std::string& rel : tree.files)
            out << rel << '\n';
    }
    int rcZip = 0;
    auto zipOnce = [&] {
        fs::remove(theirs);
        rcZip |= std::system(
            ("cd '" + tree.root + "' && zip -q -9 -X -D '" + theirs + "' -@ < '" + list + "'").c_str());
    };

    // The zip writer alone over the same files, as the job calls it: what the job costs beyond it.
    std::vector<std::string> names;
    for (std::string rel : tree.files) {
        std::replace(rel.begin(), rel.end(), '/', '\\');
        names.push_back(rel);
    }
    int rcWriter = 0;
    const std::string writerArchive = work + "/job-bench-writer.zip";
    auto writerOnce = [&] {
        TArchiveFile component;
        component.SetFileName(writerArchive);
        TArchiverOptions options;
        options.UserOptions = "-9 -X";
        rcWriter |= component.PackFiles(nullptr, &options, tree.root, {names});
    };

    // The three take turns, so that load from elsewhere on the machine falls on each alike.
    auto measure = [&](Phases& job, double& zip, double& writer) {
        job = Phases();
        zip = writer = 1e300;
        for (int i = 0; i < runs; ++i) {
            Phases p = runJob();
            if (p.total < job.total)
                job = p;
            zip = std::min(zip, BestSeconds(1, [&] { zipOnce(); }));
            writer = std::min(writer, BestSeconds(1, [&] { writerOnce(); }));
        }
    };
    Phases ours2, ours1;
    double zip2, writer2, zip1, writer1;
    measure(ours2, zip2, writer2);
    {
        OneCore pinned;
        measure(ours1, zip1, writer1);
    }
    if (failed || rcZip != 0 || rcWriter != 0)
        return std::printf("job failed (%s), zip failed (%d) or the writer failed (%d)\n", failure.c_str(),
                           rcZip, rcWriter),
               1;

    auto report = [](const char* label, const Phases& p, double zip, double writer, const char* target) {
        std::printf("  %s ours %.3f s, zip %.3f s, time ratio %.3f (target <= %s)\n", label, p.total, zip,
                    p.total / zip, target);
        std::printf("      list %.3f s, update lists %.3f s, pack %.3f s, rename and closing lines %.3f s;"
                    " the writer alone %.3f s (ratio %.3f)\n",
                    p.list, p.lists, p.pack, p.rest, writer, writer / zip);
    };
    std::printf("archive-only job, Run to closing line, log saved, %zu files, %.0f MB, best of %d:\n",
                tree.files.size(), static_cast<double>(tree.totalBytes) / 1e6, runs);
    char label[32];
    std::snprintf(label, sizeof label, "all %u cores:", UsableCores());
    report(label, ours2, zip2, writer2, "0.3");
    report("one core:   ", ours1, zip1, writer1, "0.6");
    fs::remove(job.NarName);
    fs::remove(theirs);
    fs::remove(writerArchive);
    fs::remove_all(logFolder);
    return 0;
}
