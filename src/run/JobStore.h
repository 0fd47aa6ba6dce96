#pragma once

#include "jobs/FTPConfig.h"
#include "jobs/Settings.h"
#include "platform/Errors.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

/// One line of the job list: caption, tick and the job it stands for (owned by the JobStore).
struct JobItem {
    std::string Caption;
    bool Checked = false;
    TSettings* Job = nullptr;
};

/// The save was refused because the main settings file could not be read at start-up: writing would
/// replace the jobs in it with none. The message says so, in the user's words.
class ESaveRefused : public EQuillon {
public:
    using EQuillon::EQuillon;
};

/// The main window's persistent state without the window: the job list, the common FTP settings and the
/// two log options, with the start-up and save sequences over the settings files beside the executable.
class JobStore {
public:
    /// `exePath` is the executable's full path; the main settings file is that path with ".ini".
    explicit JobStore(std::string exePath);
    /// The main settings file named as it is; the program folder (where the log folder goes) is that of
    /// `programFolderFile`.
    JobStore(std::string programFolderFile, std::string mainPath);

    const std::string& MainSettingsPath() const { return mainPath_; }
    std::string ProgramFolder() const;

    /// A new job owned by the store for the rest of the program's run (also after it leaves the list).
    TSettings* CreateJob();

    /// Start-up: removes what a killed save left (temporary files of the main settings file), reads the
    /// main settings file and imports every other "*.ini" beside the executable, moving each to ".in_" in
    /// one step. Job ".in_" files that an earlier run left behind are imported again, unless the main file
    /// records them (name and digest, section "Imported") as already held: then they are deleted. A job
    /// file whose ".in_" twin holds the same bytes is the trace of a move that a kill interrupted, and is
    /// one job. A record whose file is gone is removed from the main file before a file of that name is
    /// made again. So every job file is taken exactly once, whatever step a run was killed at.
    ///
    /// Problems do not stop it: a job file that cannot be read or moved stays where it is, is named in
    /// `Problems` with the reason and what to do, and the others are imported. A main settings file that
    /// exists but cannot be read is named in `Problems` too; then nothing is read or imported, and Save
    /// refuses to replace that file.
    void Load();

    /// Reads the main settings file and nothing else, changing no file: no job file is imported or moved,
    /// no temporary removed (for a runner that must leave the folder as it found it). Throws EFileError
    /// with a one-line message naming the file when it is missing or cannot be read.
    void LoadReadOnly();

    /// Save: writes the common settings, the options, every job in list order and the record of the
    /// ".in_" files it now holds into the main settings file (atomically), then deletes those files and
    /// the records. Throws ESaveRefused when the main file could not be read at start-up (it is left as it
    /// is), EFileError "<path> に書き込めません（<reason>）。" when it cannot be written (the ".in_" files
    /// then stay, and Save may be called again).
    void Save();

    /// What went wrong during Load, one message per problem, in plain Japanese that names the file.
    std::vector<std::string> Problems;
    /// True when Load found the main settings file unreadable: Save will refuse.
    bool SaveRefused() const { return saveRefused_; }

    /// Called with the name of each step of start-up and save as it ends; a test that throws from it
    /// stands for a program killed at that point.
    std::function<void(const std::string& step)> OnStep;

    /// A change of a file that start-up or save is about to make.
    struct FileChange {
        enum Kind { Move, Write, Remove } kind;
        std::string path; ///< the file moved, written or removed
        std::string to;   ///< where a Move takes it
    };
    /// Called just before each change of a file; a test that throws from it stands for a program killed
    /// there, and may first make the change half-way (a move's link, a write's temporary file).
    std::function<void(const FileChange& change)> BeforeFileChange;

    TFTPConfig CommonFTP;
    bool IsLog = false;
    bool NoLog = false;
    std::vector<JobItem> Items;

private:
    void appendItem(TSettings* job);
    TSettings* adopt(std::unique_ptr<TSettings> job);
    void step(const std::string& name) const {
        if (OnStep)
            OnStep(name);
    }
    void change(FileChange::Kind kind, const std::string& path, const std::string& to = {}) const {
        if (BeforeFileChange)
            BeforeFileChange(FileChange{kind, path, to});
    }
    // Reads the common settings, the options and the jobs of the main file; returns its record of imported
    // files. Throws EFileError when the file exists but cannot be read.
    std::map<std::string, std::string> readMainFile();
    // Start-up steps over the folder's job files.
    void takeBackMainFile();
    void importLeftover(const std::string& path, const std::map<std::string, std::string>& held,
                        std::vector<std::string>& leftovers);
    void importJobFile(const std::string& path, std::map<std::string, std::string>& held,
                       const std::vector<std::string>& leftovers);

    std::string exePath_;
    std::string mainPath_;
    std::vector<std::unique_ptr<TSettings>> jobs_;
    std::vector<std::string> consumed_; // the ".in_" files whose jobs this run holds
    bool saveRefused_ = false;
    std::string refusal_; // the message of a refused save
};
