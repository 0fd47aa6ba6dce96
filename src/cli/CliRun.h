#pragma once

#include <string>
#include <vector>

/// What quillon-cli's exit code says.
enum CliExit {
    cliSucceeded = 0, ///< every job run succeeded
    cliJobFailed = 1, ///< a job failed, the run was cancelled or an error ended it
    cliUsage = 2,     ///< the command line or the settings file: nothing was run
};

/// quillon-cli: runs the jobs the arguments name (none: the ticked ones) from the settings file, the log
/// to standard output (and to the log file when the settings say so), reasons and progress to standard
/// error. `exePath` is the executable's path, beside which the default settings file lies.
int RunCli(const std::vector<std::string>& args, const std::string& exePath);
