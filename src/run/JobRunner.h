#pragma once

#include <functional>
#include <string>

class LogSink;
class TSettings;

/// What a run counted: jobs run and the successes among them.
struct RunCounts {
    int Run = 0;
    int Succeeded = 0;
};

/// Runs, for each position 0..count-1 in order, the job that `tickedJob` gives (nullptr for an unticked
/// item; asked when the position is reached), each with `sink` as its log. A cancel request from before
/// the run is dropped; one made during a job ends the run after that job. An error that leaves a job's Run
/// ends the run and reaches the caller. With `preview` each job only tells what it would do (TSettings::Run).
RunCounts RunJobs(int count, const std::function<TSettings*(int)>& tickedJob, LogSink& sink,
                  bool preview = false);

/// "%d項目実行 - 成功%d / 失敗%d"; after a preview a line that says so.
std::string SummaryLine(const RunCounts& counts, bool preview = false);
