#include "JobRunner.h"

#include "jobs/Settings.h"

RunCounts RunJobs(int count, const std::function<TSettings*(int)>& tickedJob, LogSink& sink) {
    RunCounts counts;
    for (int i = 0; i < count; ++i) {
        TSettings* job = tickedJob(i);
        if (!job)
            continue;
        job->LogLines = &sink;
        ++counts.Run;
        if (job->Run())
            ++counts.Succeeded;
    }
    return counts;
}

std::string SummaryLine(const RunCounts& counts) {
    return std::to_string(counts.Run) + "項目実行 - 成功" + std::to_string(counts.Succeeded) + " / 失敗" +
           std::to_string(counts.Run - counts.Succeeded);
}
