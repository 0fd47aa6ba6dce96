#include "RunControl.h"

#include <atomic>

namespace {

RunProgressSink* installedSink = nullptr;
std::atomic<bool> cancelRequested{false};

} // namespace

RunProgressSink* SetRunProgressSink(RunProgressSink* sink) {
    RunProgressSink* previous = installedSink;
    installedSink = sink;
    return previous;
}

void ReportProgress(const RunProgress& progress) {
    if (installedSink)
        installedSink->Show(progress);
}

void ReportStep(const std::string& step) {
    RunProgress progress;
    progress.Step = step;
    ReportProgress(progress);
}

void RequestCancel() {
    cancelRequested = true;
}

bool CancelRequested() {
    return cancelRequested;
}

void ClearCancel() {
    cancelRequested = false;
}

void ThrowIfCancelled() {
    if (cancelRequested)
        throw ECancelled();
}
