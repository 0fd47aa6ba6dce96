#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class RunContext;

// What a console program needs of the system: its arguments and environment as UTF-8, its standard
// streams, and Ctrl+C. POSIX in ConsolePosix.cpp; the Windows sibling (ConsoleWindows.cpp) takes the
// arguments from the UTF-16 command line, writes to a console with WriteConsoleW and hears Ctrl+C and
// Ctrl+Break through SetConsoleCtrlHandler.

/// The program's arguments after its name, as UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

/// An environment variable's value as UTF-8; nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const char* name);

/// Writes UTF-8 text to standard output or standard error at once (no buffering that a later write to
/// the other stream could overtake). On a console the text shows as written, whatever its code page.
void WriteStandardOutput(std::string_view utf8);
void WriteStandardError(std::string_view utf8);

/// True when standard error is a terminal (a person watches), false for a file or a pipe (a CI log).
bool StandardErrorIsTerminal();

/// While it lives, an interrupt (Ctrl+C, SIGINT, SIGTERM) asks `context` to stop, as the window's cancel
/// button does; a second interrupt ends the program at once. The handlers in place before come back at
/// its end.
class InterruptHandler {
public:
    explicit InterruptHandler(RunContext& context);
    ~InterruptHandler();
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;
};
