#pragma once

#include "platform/Errors.h"

#include <string>
#include <vector>

/// What the command line of quillon-cli asks for.
struct CliOptions {
    std::string SettingsPath;       ///< --settings; empty: quillon.ini beside the executable
    bool DryRun = false;            ///< --dry-run: the preview, which changes nothing
    bool Yes = false;               ///< --yes: go on despite the release check's findings
    std::string TrustedFingerprint; ///< --trust, as "SHA256:" and 64 upper-case hex digits; empty: none
    std::vector<std::string> Jobs;  ///< job names; none: the ticked ones
    bool Help = false;              ///< --help / -h
};

/// A command line the runner cannot take; the message is one line that says what is wrong.
class EUsage : public EQuillon {
public:
    using EQuillon::EQuillon;
};

/// The usage line, also shown by --help.
extern const char* const CliUsage;

/// Reads the arguments after the program's name. Options and job names may come in any order; after "--"
/// every argument is a job name. An option's value follows it or comes after '=' (--settings=FILE).
/// Throws EUsage for an unknown option, a missing or malformed value, or an option given twice.
CliOptions ParseCliArguments(const std::vector<std::string>& args);
