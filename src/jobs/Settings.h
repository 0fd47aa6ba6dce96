#pragma once

#include "FTPConfig.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IniFile;

/// One job of the job list: what to distribute, where to, and how.
class TSettings {
public:
    // Job kinds; exactly one bit is set and code compares for equality.
    static constexpr uint8_t Network = 1;
    static constexpr uint8_t Upload = 2;
    static constexpr uint8_t NarCreate = 4;

    /// A new job: kind Network, no own FTP settings, no log sink, empty texts, flags off.
    TSettings() = default;

    uint8_t Kind = Network;
    std::string Directory;   ///< upload directory on the server, with '/'
    std::string HTML;        ///< local path of the web page template; empty for none
    std::string NarName;     ///< path of the archive to produce, with date/time placeholders
    std::string ProcessName; ///< include patterns, one per line, each line ended by CR LF
    std::string ExcludeName; ///< exclusion lines, same form
    std::string Name;
    std::vector<std::string>* LogLines = nullptr; ///< log sink, not owned
    TFTPConfig* CommonFTP = nullptr;              ///< the main window's common settings, not owned
    std::unique_ptr<TFTPConfig> OwnFTP;
    bool UseCommon = false;
    std::string TargetFolder; ///< base folder
    bool DefaultCheck = false;

    /// Reads the job from a numbered section of the main settings file. A `NarName` without a folder part
    /// gets `TargetFolder` in front. Missing keys take their defaults; never fails.
    void LoadFromSection(const IniFile& ini, const std::string& section);
    /// Reads the job from section "General" of a job settings file, `NarName` as stored. Never fails.
    void LoadFromFile(const std::string& path);
    /// Writes the job's keys into a section of the main settings file (in memory). `OwnFTP` must exist.
    void SaveToSection(IniFile& ini, const std::string& section) const;

    /// `TargetFolder` with a trailing path delimiter.
    std::string BaseFolder() const;

    /// The INI value of a kind: "Network", "Upload", or "NarCreate" for any other value.
    static const char* KindName(uint8_t kind);
    /// The kind of an INI value, compared case-sensitively; anything unknown is NarCreate.
    static uint8_t KindFromName(const std::string& name);

private:
    // The reading shared by both layouts, in the order the keys are read.
    void load(const IniFile& ini, const std::string& section, bool jobSection);
};
