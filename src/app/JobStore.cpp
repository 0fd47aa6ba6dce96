#include "JobStore.h"

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "updatelist/GetFileList.h"
#include "updatelist/MD5.h"

#include <algorithm>
#include <map>

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

namespace {

// The record of imported job files in the main settings file: name and digest of each, so that a file of
// the same name with other contents is still taken for a new job.
constexpr const char* ImportedSection = "Imported";

std::map<std::string, std::string> readImported(const IniFile& ini) {
    std::map<std::string, std::string> held;
    int count = ini.ReadInteger(ImportedSection, "Count", 0);
    for (int i = 0; i < count; ++i) {
        std::string value = ini.ReadString(ImportedSection, "File" + std::to_string(i), "");
        if (value.size() > 33 && value[32] == '*')
            held[value.substr(33)] = value.substr(0, 32);
    }
    return held;
}

} // namespace

void JobStore::Load() {
    const std::string movedMain = ChangeFileExt(mainPath_, ".in_");
    // A run killed during start-up leaves the main file under its ".in_" name: take it back first.
    if (!PathExists(mainPath_) && FileExists(movedMain)) {
        try {
            RenameFile(movedMain, mainPath_);
        } catch (const EFileError&) {
        }
    }

    std::map<std::string, std::string> held;
    {
        IniFile ini(mainPath_);
        CommonFTP.Server = ini.ReadString("FTP", "Server", "");
        CommonFTP.ID = ini.ReadString("FTP", "ID", "");
        CommonFTP.SetPassword(ini.ReadString("FTP", "Password", ""));
        CommonFTP.Passive = ini.ReadBool("FTP", "Passive", false);
        CommonFTP.SSL = ini.ReadBool("FTP", "SSL", false);
        CommonFTP.ReadConnectionKeys(ini, "FTP");
        IsLog = ini.ReadBool("General", "IsLog", false);
        NoLog = ini.ReadBool("General", "NoLog", false);
        int count = ini.ReadInteger("General", "SettingsCount", 0);
        for (int i = 0; i < count; ++i) {
            TSettings* job = CreateJob();
            job->LoadFromSection(ini, std::to_string(i));
            appendItem(job);
        }
        held = readImported(ini);
    }
    step("main file read");

    // Job files whose jobs the main file already holds: a run saved them but did not get to delete them.
    for (const std::string& path : GetFileList(ProgramFolder() + "*.in_")) {
        auto it = held.find(ExtractFileName(path));
        if (path != movedMain && it != held.end() && MD5File(path) == it->second && !RemoveFile(path))
            consumed_.push_back(path); // still held: recorded again at the next save
    }

    // Out of the way, so that the listing below does not take the main file for a job file.
    try {
        RenameFile(mainPath_, movedMain);
    } catch (const EFileError&) {
    }
    step("main file moved");

    // The ".in_" files left now hold jobs that the main file lacks (a run was killed before its save):
    // they are imported again.
    for (const std::string& path : GetFileList(ProgramFolder() + "*.ini;*.in_")) {
        if (path == movedMain || std::find(consumed_.begin(), consumed_.end(), path) != consumed_.end())
            continue;
        TSettings* job = CreateJob();
        job->LoadFromFile(path);
        std::string moved = ChangeFileExt(path, ".in_");
        if (moved != path)
            RenameFile(path, moved); // a failure ends the start-up here
        consumed_.push_back(moved);
        appendItem(job);
        step("job file imported");
    }

    try {
        RenameFile(movedMain, mainPath_);
    } catch (const EFileError&) {
    }
    step("main file restored");
}

void JobStore::Save() {
    IniFile ini(mainPath_);
    ini.WriteString("FTP", "Server", CommonFTP.Server);
    ini.WriteString("FTP", "ID", CommonFTP.ID);
    ini.WriteString("FTP", "Password", CommonFTP.GetStoredPassword());
    ini.WriteBool("FTP", "Passive", CommonFTP.Passive);
    ini.WriteBool("FTP", "SSL", CommonFTP.SSL);
    CommonFTP.WriteConnectionKeys(ini, "FTP");
    ini.WriteBool("General", "IsLog", IsLog);
    ini.WriteBool("General", "NoLog", NoLog);
    ini.WriteInteger("General", "SettingsCount", static_cast<int>(Items.size()));
    for (size_t i = 0; i < Items.size(); ++i)
        Items[i].Job->SaveToSection(ini, std::to_string(i));

    // The imported files this file now holds, so that a start-up after a failed or interrupted deletion
    // below deletes them instead of importing their jobs a second time.
    ini.EraseSection(ImportedSection);
    std::vector<std::string> held;
    for (const std::string& path : consumed_)
        if (FileExists(path)) {
            ini.WriteString(ImportedSection, "File" + std::to_string(held.size()),
                            MD5File(path) + "*" + ExtractFileName(path));
            held.push_back(path);
        }
    if (!held.empty())
        ini.WriteInteger(ImportedSection, "Count", static_cast<int>(held.size()));
    step("main file prepared");
    try {
        ini.UpdateFile();
    } catch (const EFileError& e) {
        throw EFileError(mainPath_ + " に書き込めません", e.code());
    }
    step("main file written");
    // Only now that every job is in the main file may the imported files go.
    for (const std::string& path : held) {
        RemoveFile(path);
        step("job file deleted");
    }
    // The main file's own ".in_" name, where a failed start-up left it.
    RemoveFile(ChangeFileExt(mainPath_, ".in_"));
}
