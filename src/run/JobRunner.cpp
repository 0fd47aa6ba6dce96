#include "JobRunner.h"

#include "jobs/Settings.h"
#include "platform/RunControl.h"

RunCounts RunJobs(int count, const std::function<TSettings*(int)>& tickedJob, LogSink& sink, bool preview) {
    RunCounts counts;
    ClearCancel();
    // A cancelled job has failed; the jobs after it do not run.
    for (int i = 0; i < count && !CancelRequested(); ++i) {
        TSettings* job = tickedJob(i);
        if (!job)
            continue;
        job->LogLines = &sink;
        ++counts.Run;
        if (job->Run(preview))
            ++counts.Succeeded;
    }
    return counts;
}

std::string SummaryLine(const RunCounts& counts, bool preview) {
    if (preview)
        return "プレビュー: " + std::to_string(counts.Run) + "項目 - 成功" +
               std::to_string(counts.Succeeded) + " / 失敗" + std::to_string(counts.Run - counts.Succeeded) +
               "（サーバーとローカルのファイルは何も変更していません）";
    return std::to_string(counts.Run) + "項目実行 - 成功" + std::to_string(counts.Succeeded) + " / 失敗" +
           std::to_string(counts.Run - counts.Succeeded);
}
