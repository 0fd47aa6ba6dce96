#pragma once

#include "Errors.h"

#include <atomic>
#include <cstdint>
#include <string>

class UserPrompts;

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

/// What the work in progress talks to: who answers its questions, where its progress goes and whether the
/// user asked it to stop. A context is current from its construction to its end, when the one it replaced
/// is current again; whatever it is not given (nullptr) comes from that enclosing one. Each context has a
/// cancel flag of its own, so a stop asked of one run does not linger into the next.
class RunContext {
public:
    explicit RunContext(UserPrompts* prompts, RunProgressSink* progress = nullptr);
    ~RunContext();
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    /// The context in force: the innermost one alive, or the program's default (questions answered No,
    /// input boxes cancelled, error boxes to standard error, progress dropped).
    static RunContext& Current();

    UserPrompts& Prompts() const { return *prompts_; }
    RunProgressSink* Progress() const { return progress_; }
    /// Safe from any thread and from a signal handler.
    void RequestCancel() { cancelRequested_.store(true); }
    bool CancelRequested() const { return cancelRequested_.load(); }
    void ClearCancel() { cancelRequested_.store(false); }

private:
    struct DefaultTag {};
    explicit RunContext(DefaultTag);
    static RunContext& Default();

    UserPrompts* prompts_;
    RunProgressSink* progress_;
    std::atomic<bool> cancelRequested_{false};
    RunContext* previous_; ///< nullptr when the default one was current
};

/// Hands the progress to the current context's sink, if any.
void ReportProgress(const RunProgress& progress);
/// A step without a count begins (connecting, fetching, ...): shown at once, so that the count of the
/// step before does not linger through a long wait.
void ReportStep(const std::string& step);

/// The user asked to stop the run: the work in progress ends within a second, later jobs do not run.
/// These act on the current context; requests are cleared when a run starts.
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
