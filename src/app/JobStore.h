#pragma once

#include "jobs/FTPConfig.h"
#include "jobs/Settings.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

/// One line of the job list: caption, tick and the job it stands for (owned by the JobStore).
struct JobItem {
    std::string Caption;
    bool Checked = false;
    TSettings* Job = nullptr;
};

/// The main window's persistent state without the window: the job list, the common FTP settings and the
/// two log options, with the start-up and save sequences over the settings files beside the executable.
class JobStore {
public:
    /// `exePath` is the executable's full path; the main settings file is that path with ".ini".
    explicit JobStore(std::string exePath);

    const std::string& MainSettingsPath() const { return mainPath_; }
    std::string ProgramFolder() const;

    /// A new job owned by the store for the rest of the program's run (also after it leaves the list).
    TSettings* CreateJob();

    /// Start-up: reads the main settings file and imports every other "*.ini" beside the executable,
    /// moving each to ".in_". Job ".in_" files that an earlier run left behind are imported again, unless
    /// the main file records them as already held (then they are deleted): so a job file is taken exactly
    /// once, whichever step a run was killed at. A failed move of a job file ends the sequence by throwing
    /// EFileError with the system's text; the jobs read so far stay in the list.
    void Load();

    /// Save: writes the common settings, the options, every job in list order and the record of the
    /// ".in_" files it now holds into the main settings file (atomically), then deletes those files.
    /// Throws EFileError "<path> に書き込めません" when the file cannot be written; the ".in_" files then
    /// stay.
    void Save();

    /// Called with the name of each step of start-up and save as it ends; a test that throws from it
    /// stands for a program killed at that point.
    std::function<void(const std::string& step)> OnStep;

    TFTPConfig CommonFTP;
    bool IsLog = false;
    bool NoLog = false;
    std::vector<JobItem> Items;

private:
    void appendItem(TSettings* job);
    void step(const std::string& name) const {
        if (OnStep)
            OnStep(name);
    }

    std::string exePath_;
    std::string mainPath_;
    std::vector<std::unique_ptr<TSettings>> jobs_;
    std::vector<std::string> consumed_; // the ".in_" files whose jobs this run holds
};
