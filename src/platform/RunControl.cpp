#include "RunControl.h"

#include "UserPrompts.h"

#include <cstdio>

namespace {

class DefaultPrompts : public UserPrompts {
public:
    bool AskYesNo(const std::string&, const std::string&, Icon, bool) override { return false; }
    std::string InputBox(const std::string&, const std::string&, const std::string&, bool) override {
        return {};
    }
    void ErrorBox(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ProcessMessages() override {}
};

DefaultPrompts defaultPrompts;

// Worker threads of a transfer ask for the current context, so the pointer is atomic; contexts themselves
// begin and end on the thread that runs the jobs. nullptr stands for the default context.
std::atomic<RunContext*> current{nullptr};

} // namespace

RunContext::RunContext(DefaultTag) : prompts_(&defaultPrompts), progress_(nullptr), previous_(nullptr) {}

RunContext& RunContext::Default() {
    // Never destroyed: worker threads and late error boxes may still reach it during shutdown.
    static RunContext* const context = new RunContext(DefaultTag{});
    return *context;
}

RunContext::RunContext(UserPrompts* prompts, RunProgressSink* progress) : previous_(current.load()) {
    const RunContext& enclosing = Current();
    prompts_ = prompts ? prompts : enclosing.prompts_;
    progress_ = progress ? progress : enclosing.progress_;
    current.store(this);
}

RunContext::~RunContext() {
    current.store(previous_);
}

RunContext& RunContext::Current() {
    RunContext* context = current.load();
    return context ? *context : Default();
}

void ReportProgress(const RunProgress& progress) {
    if (RunProgressSink* sink = RunContext::Current().Progress())
        sink->Show(progress);
}

void ReportStep(const std::string& step) {
    RunProgress progress;
    progress.Step = step;
    ReportProgress(progress);
}

void RequestCancel() {
    RunContext::Current().RequestCancel();
}

bool CancelRequested() {
    return RunContext::Current().CancelRequested();
}

void ClearCancel() {
    RunContext::Current().ClearCancel();
}

void ThrowIfCancelled() {
    if (CancelRequested())
        throw ECancelled();
}
