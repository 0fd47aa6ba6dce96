#pragma once

#include "Errors.h"

#include <cstdint>
#include <string>

/// How far the running job has come: shown by the log window beside its cancel button.
struct RunProgress {
    std::string Step;       ///< what the job is doing, in the user's words
    int64_t Done = 0;       ///< units (files) done
    int64_t Total = 0;      ///< units in all; 0 when not known yet
    int64_t BytesDone = 0;  ///< bytes of the current transfer or pack
    int64_t BytesTotal = 0; ///< 0 when not known
};

/// Where progress goes: the log window while a run lasts, a recorder in tests.
class RunProgressSink {
public:
    virtual ~RunProgressSink() = default;
    virtual void Show(const RunProgress& progress) = 0;
};

/// Installs `sink` (not owned; nullptr for none) and returns the previous one.
RunProgressSink* SetRunProgressSink(RunProgressSink* sink);
/// Hands the progress to the installed sink, if any.
void ReportProgress(const RunProgress& progress);
/// A step without a count begins (connecting, fetching, ...): shown at once, so that the count of the
/// step before does not linger through a long wait.
void ReportStep(const std::string& step);

/// The user asked to stop the run: the work in progress ends within a second, later jobs do not run.
/// Requests are cleared when a run starts.
void RequestCancel();
bool CancelRequested();
void ClearCancel();

/// What the work in progress throws when the user cancelled; its message is the log's wording.
class ECancelled : public EQuillon {
public:
    ECancelled() : EQuillon("ユーザーが中止しました。") {}
};

/// Throws ECancelled when the user asked to stop.
void ThrowIfCancelled();
