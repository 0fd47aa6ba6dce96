#include "CliRun.h"

#include "CliOptions.h"
#include "UnattendedPrompts.h"
#include "jobs/Settings.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "run/JobRunner.h"
#include "run/JobStore.h"
#include "run/LogDocument.h"

#include <chrono>

namespace {

// The program's two streams: the log on standard output; reasons and, on a terminal, one progress line
// on standard error, cleared before anything else is written so that it never mixes with a line.
class ConsoleOutput : public RunProgressSink {
public:
    explicit ConsoleOutput(bool terminal) : terminal_(terminal) {}

    void Log(const std::string& text) {
        clearProgress();
        std::string out;
        for (size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
                out += text[i];
        WriteStandardOutput(out);
    }
    void Error(const std::string& line) {
        clearProgress();
        WriteStandardError("quillon-cli: " + line + "\n");
    }
    void Show(const RunProgress& p) override {
        if (!terminal_)
            return;
        const auto now = std::chrono::steady_clock::now();
        // A new step shows at once; counts within a step at most ten times a second.
        if (p.Step == lastStep_ && now - lastShown_ < std::chrono::milliseconds(100))
            return;
        lastStep_ = p.Step;
        lastShown_ = now;
        std::string line = "\r" + p.Step;
        if (p.Total > 0)
            line += " " + std::to_string(p.Done) + "/" + std::to_string(p.Total);
        else if (p.Done > 0)
            line += " " + std::to_string(p.Done);
        if (p.BytesTotal > 0)
            line += " (" + std::to_string(p.BytesDone * 100 / p.BytesTotal) + "%)";
        WriteStandardError(line + "\x1b[K");
        shown_ = true;
    }
    void clearProgress() {
        if (shown_)
            WriteStandardError("\r\x1b[K");
        shown_ = false;
        lastStep_.clear();
    }

private:
    bool terminal_;
    bool shown_ = false;
    std::string lastStep_;
    std::chrono::steady_clock::time_point lastShown_;
};

// The run's log: the document the window would keep (and its file), each addition also on standard output.
class ConsoleLog : public LogSink {
public:
    ConsoleLog(LogDocument& document, ConsoleOutput& out) : document_(document), out_(out) {}
    void Add(const std::string& line) override {
        const size_t before = document_.Text().size();
        document_.Add(line);
        out_.Log(document_.Text().substr(before));
    }

private:
    LogDocument& document_;
    ConsoleOutput& out_;
};

// The positions to run: the named jobs, or the ticked ones. Throws EUsage naming what is wrong.
std::vector<bool> chooseJobs(const JobStore& store, const std::vector<std::string>& names) {
    std::vector<bool> chosen(store.Items.size(), false);
    for (size_t i = 0; i < store.Items.size(); ++i)
        chosen[i] = names.empty() && store.Items[i].Checked;
    for (const std::string& name : names) {
        int found = 0;
        for (size_t i = 0; i < store.Items.size(); ++i)
            if (store.Items[i].Job->Name == name) {
                chosen[i] = true;
                ++found;
            }
        if (found == 0)
            throw EUsage("ジョブ " + name + " は設定ファイル " + store.MainSettingsPath() +
                         " にありません。");
        if (found > 1)
            throw EUsage("ジョブ名 " + name + " のジョブが設定ファイル " + store.MainSettingsPath() + " に" +
                         std::to_string(found) + "つあります。どれを実行するか決められません。");
    }
    for (bool c : chosen)
        if (c)
            return chosen;
    throw EUsage("実行するジョブがありません（設定ファイル " + store.MainSettingsPath() +
                 " にチェックの付いたジョブがなく、ジョブ名も指定されていません）。");
}

} // namespace

int RunCli(const std::vector<std::string>& args, const std::string& exePath) {
    ConsoleOutput out(StandardErrorIsTerminal());
    CliOptions options;
    try {
        options = ParseCliArguments(args);
    } catch (const EUsage& e) {
        out.Error(e.what());
        return cliUsage;
    }
    if (options.Help) {
        WriteStandardOutput(std::string(CliUsage) + "\n");
        return cliSucceeded;
    }

    // The window's settings file is only read: no job file is imported, nothing is saved.
    const std::string settings = options.SettingsPath.empty() ? ExtractFilePath(exePath) + "quillon.ini"
                                                              : ExpandFileName(options.SettingsPath);
    JobStore store(settings, settings);
    std::vector<bool> chosen;
    try {
        store.LoadReadOnly();
        chosen = chooseJobs(store, options.Jobs);
    } catch (const EQuillon& e) {
        out.Error(e.what());
        return cliUsage;
    }

    UnattendedPrompts prompts(
        {options.Yes, options.TrustedFingerprint, EnvironmentVariable("QUILLON_PASSWORD")},
        [&out](const std::string& line) { out.Error(line); });
    RunContext context(&prompts, &out);
    LogDocument document(store.ProgramFolder(), LocalNow());
    document.SaveFlag = store.IsLog;
    ConsoleLog log(document, out);
    RunCounts counts;
    {
        InterruptHandler interrupt(context);
        try {
            counts = RunJobs(
                static_cast<int>(store.Items.size()),
                [&](int i) -> TSettings* {
                    if (!chosen[static_cast<size_t>(i)])
                        return nullptr;
                    prompts.JobName = store.Items[static_cast<size_t>(i)].Job->Name;
                    return store.Items[static_cast<size_t>(i)].Job;
                },
                log, options.DryRun);
        } catch (const std::exception& e) {
            // As in the window: the run ends here, without a summary line.
            prompts.JobName.clear();
            out.Error(ErrorBoxText(e.what()));
            return cliJobFailed;
        }
    }
    prompts.JobName.clear();
    // The window leaves the summary out of the log (and its file) when the log is hidden.
    const std::string summary = SummaryLine(counts, options.DryRun);
    if (store.NoLog)
        out.Log(summary + "\n");
    else
        log.Add(summary);
    if (context.CancelRequested()) {
        out.Error("中止しました。");
        return cliJobFailed;
    }
    return counts.Succeeded == counts.Run ? cliSucceeded : cliJobFailed;
}
