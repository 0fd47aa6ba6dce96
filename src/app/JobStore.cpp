#include "JobStore.h"

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "updatelist/GetFileList.h"

JobStore::JobStore(std::string exePath)
    : exePath_(std::move(exePath)), mainPath_(ChangeFileExt(exePath_, ".ini")) {}

std::string JobStore::ProgramFolder() const {
    return ExtractFilePath(exePath_);
}

TSettings* JobStore::CreateJob() {
    jobs_.push_back(std::make_unique<TSettings>());
    return jobs_.back().get();
}

void JobStore::appendItem(TSettings* job) {
    job->CommonFTP = &CommonFTP;
    Items.push_back(JobItem{job->Name, job->DefaultCheck, job});
}

void JobStore::Load() {
    const std::string movedMain = ChangeFileExt(mainPath_, ".in_");
    // A run killed during start-up leaves the main file under its ".in_" name: take it back first.
    if (!PathExists(mainPath_) && FileExists(movedMain)) {
        try {
            RenameFile(movedMain, mainPath_);
        } catch (const EFileError&) {
        }
    }

    {
        IniFile ini(mainPath_);
        CommonFTP.Server = ini.ReadString("FTP", "Server", "");
        CommonFTP.ID = ini.ReadString("FTP", "ID", "");
        CommonFTP.SetPassword(ini.ReadString("FTP", "Password", ""));
        CommonFTP.Passive = ini.ReadBool("FTP", "Passive", false);
        CommonFTP.SSL = ini.ReadBool("FTP", "SSL", false);
        IsLog = ini.ReadBool("General", "IsLog", false);
        NoLog = ini.ReadBool("General", "NoLog", false);
        int count = ini.ReadInteger("General", "SettingsCount", 0);
        for (int i = 0; i < count; ++i) {
            TSettings* job = CreateJob();
            job->LoadFromSection(ini, std::to_string(i));
            appendItem(job);
        }
    }

    // Out of the way, so that the listing below does not take the main file for a job file.
    try {
        RenameFile(mainPath_, movedMain);
    } catch (const EFileError&) {
    }

    // Job ".in_" files are still there only when a run was killed before its save; they hold jobs that
    // the main file lacks, so they are imported again.
    for (const std::string& path : GetFileList(ProgramFolder() + "*.ini;*.in_")) {
        if (path == movedMain)
            continue;
        TSettings* job = CreateJob();
        job->LoadFromFile(path);
        std::string moved = ChangeFileExt(path, ".in_");
        if (moved != path)
            RenameFile(path, moved); // a failure ends the start-up here
        appendItem(job);
    }

    try {
        RenameFile(movedMain, mainPath_);
    } catch (const EFileError&) {
    }
}

void JobStore::Save() {
    IniFile ini(mainPath_);
    ini.WriteString("FTP", "Server", CommonFTP.Server);
    ini.WriteString("FTP", "ID", CommonFTP.ID);
    ini.WriteString("FTP", "Password", CommonFTP.GetStoredPassword());
    ini.WriteBool("FTP", "Passive", CommonFTP.Passive);
    ini.WriteBool("FTP", "SSL", CommonFTP.SSL);
    ini.WriteBool("General", "IsLog", IsLog);
    ini.WriteBool("General", "NoLog", NoLog);
    ini.WriteInteger("General", "SettingsCount", static_cast<int>(Items.size()));
    for (size_t i = 0; i < Items.size(); ++i)
        Items[i].Job->SaveToSection(ini, std::to_string(i));
    try {
        ini.UpdateFile();
    } catch (const EFileError& e) {
        throw EFileError(mainPath_ + " に書き込めません", e.code());
    }
    // Only now that every job is in the main file may the imported files go.
    for (const std::string& path : GetFileList(ProgramFolder() + "*.in_"))
        RemoveFile(path);
}
