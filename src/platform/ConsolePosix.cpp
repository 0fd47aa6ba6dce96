#include "Console.h"

#include "RunControl.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    // The locale of a Linux system is UTF-8: the bytes are the text.
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
}

std::optional<std::string> EnvironmentVariable(const char* name) {
    if (const char* value = std::getenv(name))
        return std::string(value);
    return std::nullopt;
}

namespace {

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a closed pipe: nobody reads any more
        text.remove_prefix(static_cast<size_t>(n));
    }
}

// The context an interrupt stops; read by the signal handler, so lock-free.
std::atomic<RunContext*> interrupted{nullptr};
std::atomic<int> interrupts{0};
struct sigaction previousInt, previousTerm;

extern "C" void onInterrupt(int signal) {
    if (interrupts.fetch_add(1) > 0) {
        // The second one: the user insists, the program ends as the signal would end it.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    if (RunContext* context = interrupted.load())
        context->RequestCancel();
}

} // namespace

void WriteStandardOutput(std::string_view utf8) {
    writeAll(STDOUT_FILENO, utf8);
}

void WriteStandardError(std::string_view utf8) {
    writeAll(STDERR_FILENO, utf8);
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

InterruptHandler::InterruptHandler(RunContext& context) {
    static_assert(std::atomic<RunContext*>::is_always_lock_free && std::atomic<int>::is_always_lock_free);
    interrupts.store(0);
    interrupted.store(&context);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
}

InterruptHandler::~InterruptHandler() {
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    interrupted.store(nullptr);
}
