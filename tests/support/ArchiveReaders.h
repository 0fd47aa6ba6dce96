#pragma once

#include "Shell.h"

#include <string>

/// What the readers users have (Info-ZIP's unzip, 7-Zip, libarchive's bsdtar) say against an archive:
/// empty when all three take it without an error or a warning. With `readData` each reads and checks every
/// member's data; without, each only lists the archive (its headers), which costs no time for members of
/// gibibytes.
inline std::string ArchiveReadersComplaints(const std::string& archive, bool readData = true) {
    std::string complaints;
    auto run = [&](const std::string& reader, const std::string& command, bool warningsCount) {
        int status = -1;
        std::string out = RunShell(command + " 2>&1", &status);
        if (status != 0 || (warningsCount && (out.find("WARNING") != std::string::npos ||
                                              out.find("Error") != std::string::npos)))
            complaints += reader + " (" + std::to_string(status) + "): " + out + "\n";
    };
    const std::string quoted = "'" + archive + "'";
    run("unzip", readData ? "unzip -tq " + quoted : "unzip -lq " + quoted + " >/dev/null", false);
    run("7z", (readData ? "7z t -bd " : "7z l -bd ") + quoted, true);
    run("bsdtar",
        readData ? "bsdtar -xOf " + quoted + " >/dev/null" : "bsdtar -tvf " + quoted + " >/dev/null", false);
    return complaints;
}
