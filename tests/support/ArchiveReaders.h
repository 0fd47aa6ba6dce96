#pragma once

#include "Shell.h"

#include <string>

/// What the readers users have (Info-ZIP's unzip, 7-Zip, libarchive's bsdtar) say against an archive when
/// they read every member's data: empty when all three read it without an error or a warning.
inline std::string ArchiveReadersComplaints(const std::string& archive) {
    std::string complaints;
    auto run = [&](const std::string& reader, const std::string& command, bool warningsCount) {
        int status = -1;
        std::string out = RunShell(command + " 2>&1", &status);
        if (status != 0 || (warningsCount && (out.find("WARNING") != std::string::npos ||
                                              out.find("Error") != std::string::npos)))
            complaints += reader + " (" + std::to_string(status) + "): " + out + "\n";
    };
    run("unzip -t", "unzip -tq '" + archive + "'", false);
    run("7z t", "7z t -bd '" + archive + "'", true);
    run("bsdtar", "bsdtar -xOf '" + archive + "' >/dev/null", false);
    return complaints;
}
