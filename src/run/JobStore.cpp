#include "JobStore.h"

#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "updatelist/GetFileList.h"
#include "updatelist/MD5.h"

#include <algorithm>

JobStore::JobStore(std::string exePath)
    : exePath_(std::move(exePath)), mainPath_(ChangeFileExt(exePath_, ".ini")) {}

JobStore::JobStore(std::string programFolderFile, std::string mainPath)
    : exePath_(std::move(programFolderFile)), mainPath_(std::move(mainPath)) {}

std::string JobStore::ProgramFolder() const {
    return ExtractFilePath(exePath_);
}

TSettings* JobStore::CreateJob() {
    return adopt(std::make_unique<TSettings>());
}

TSettings* JobStore::adopt(std::unique_ptr<TSettings> job) {
    jobs_.push_back(std::move(job));
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

using Records = std::map<std::string, std::string>; // file name -> digest

Records readImported(const IniFile& ini) {
    Records held;
    int count = ini.ReadInteger(ImportedSection, "Count", 0);
    for (int i = 0; i < count; ++i) {
        std::string value = ini.ReadString(ImportedSection, "File" + std::to_string(i), "\n");
        if (value == "\n")
            break; // records are numbered without gaps: a huge count costs nothing
        if (value.size() > 33 && value[32] == '*')
            held[value.substr(33)] = value.substr(0, 32);
    }
    return held;
}

void writeImported(IniFile& ini, const Records& records) {
    ini.EraseSection(ImportedSection);
    int i = 0;
    for (const auto& [name, digest] : records)
        ini.WriteString(ImportedSection, "File" + std::to_string(i++), digest + "*" + name);
    if (i > 0)
        ini.WriteInteger(ImportedSection, "Count", i);
}

bool isMovedName(const std::string& path) {
    std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext == ".in_";
}

std::string reason(const EFileError& e) {
    return SystemErrorReasonJa(e.code());
}

bool sameBytes(const std::string& a, const std::string& b) {
    std::string digest = MD5File(a);
    return !digest.empty() && digest == MD5File(b);
}

} // namespace

void JobStore::takeBackMainFile() {
    // Earlier versions moved the main file to its ".in_" name during start-up; a run killed there left it
    // so (or, killed in the middle of that move, under both names).
    const std::string movedMain = ChangeFileExt(mainPath_, ".in_");
    if (!FileExists(movedMain))
        return;
    if (!PathExists(mainPath_)) {
        change(FileChange::Move, movedMain, mainPath_);
        try {
            RenameFile(movedMain, mainPath_);
        } catch (const EFileError&) {
        }
    } else if (sameBytes(movedMain, mainPath_)) {
        change(FileChange::Remove, movedMain);
        RemoveFile(movedMain);
    }
}

std::map<std::string, std::string> JobStore::readMainFile() {
    IniFile ini(mainPath_);
    CommonFTP.Server = ini.ReadString("FTP", "Server", "");
    CommonFTP.ID = ini.ReadString("FTP", "ID", "");
    CommonFTP.SetPassword(ini.ReadString("FTP", "Password", ""));
    CommonFTP.Passive = ini.ReadBool("FTP", "Passive", false);
    CommonFTP.SSL = ini.ReadBool("FTP", "SSL", false);
    CommonFTP.ReadConnectionKeys(ini, "FTP");
    IsLog = ini.ReadBool("General", "IsLog", false);
    NoLog = ini.ReadBool("General", "NoLog", false);
    // Jobs beyond the sections that exist take their defaults, but never more than the file has
    // sections: a huge count costs nothing.
    long long count = std::clamp<long long>(ini.ReadInteger("General", "SettingsCount", 0), 0,
                                            static_cast<long long>(ini.SectionCount()));
    for (long long i = 0; i < count; ++i) {
        TSettings* job = CreateJob();
        job->LoadFromSection(ini, std::to_string(i));
        appendItem(job);
    }
    return readImported(ini);
}

void JobStore::Load() {
    takeBackMainFile();
    // A save killed before its rename left its temporary file, with the passwords in it.
    RemoveLeftoverTemporaries(mainPath_);

    Records held;
    try {
        held = readMainFile();
    } catch (const EFileError& e) {
        saveRefused_ = true;
        Problems.push_back(
            "設定ファイル " + mainPath_ + " を読み込めません（" + reason(e) +
            "）。\nジョブを読み込まずに起動しました。この設定ファイルを守るため、終了するときにも"
            "保存しません。ファイルを読み込めるようにしてから、Quillonを起動し直してください。");
        refusal_ = "設定ファイル " + mainPath_ +
                   " は起動したときに読み込めなかったので、上書きせずに終了します。この実行で行った変更は保存"
                   "されません。";
        return;
    }
    step("main file read");

    std::vector<std::string> listing = GetFileList(ProgramFolder() + "*.ini;*.in_");
    // First the ".in_" files that a run left behind, then the new job files, so that a job file can be
    // recognised as the other half of an interrupted move.
    std::vector<std::string> leftovers;
    for (const std::string& path : listing)
        if (isMovedName(path) && !SameFileName(path, ChangeFileExt(mainPath_, ".in_")))
            importLeftover(path, held, leftovers);
    for (const std::string& path : listing)
        if (!isMovedName(path) && !SameFileName(path, mainPath_))
            importJobFile(path, held, leftovers);
    step("start-up done");
}

void JobStore::LoadReadOnly() {
    if (!PathExists(mainPath_)) // a folder of that name is unreadable, below
        throw EFileError("設定ファイル " + mainPath_ + " がありません。", 0);
    try {
        readMainFile();
    } catch (const EFileError& e) {
        throw EFileError("設定ファイル " + mainPath_ + " を読み込めません（" + reason(e) + "）。", e.code());
    }
}

void JobStore::importLeftover(const std::string& path, const Records& held,
                              std::vector<std::string>& leftovers) {
    auto record = held.find(ExtractFileName(path));
    if (record != held.end() && MD5File(path) == record->second) {
        // Its job is in the main file: a run saved it but did not get to delete the file.
        change(FileChange::Remove, path);
        if (!RemoveFile(path))
            consumed_.push_back(path); // still held: recorded again at the next save
        step("held job file deleted");
        return;
    }
    // A run was killed before its save: the job is in no settings file but this one.
    auto job = std::make_unique<TSettings>();
    try {
        job->LoadFromFile(path);
    } catch (const EFileError& e) {
        Problems.push_back("前回取り込む途中だったジョブ設定ファイル " + path +
                           " を読み込めないため、取り込みません"
                           "でした（" +
                           reason(e) +
                           "）。このファイルはそのまま残してあります。読み込めるように"
                           "してから、Quillonを起動し直してください。");
        return;
    }
    consumed_.push_back(path);
    leftovers.push_back(path);
    appendItem(adopt(std::move(job)));
    step("left-over job file imported");
}

void JobStore::importJobFile(const std::string& path, Records& held,
                             const std::vector<std::string>& leftovers) {
    const std::string target = ChangeFileExt(path, ".in_");
    if (PathExists(target)) {
        bool leftover = std::find(leftovers.begin(), leftovers.end(), target) != leftovers.end();
        if (leftover && sameBytes(path, target)) {
            // A move that a kill interrupted between its two steps: the job was imported from its new name.
            change(FileChange::Remove, path);
            if (!RemoveFile(path))
                Problems.push_back(
                    "ジョブ設定ファイル " + path + " は、取り込んだ " + target +
                    " と同じ内容なので不要ですが、削除できませんでした。このファイルを削除して"
                    "ください。残したままにすると、次に起動したときに同じジョブがもう一度取り込ま"
                    "れます。");
            step("duplicate job file deleted");
            return;
        }
        Problems.push_back("ジョブ設定ファイル " + path + " を取り込めませんでした（" + target +
                           " がすでにあります）。" +
                           (leftover ? target + " のジョブは取り込みました。Quillonを終了するときに " +
                                           target + " は削除されるので、そのまま残してある " + path +
                                           " は次に起動したときに取り込まれます。"
                                     : path + " はそのまま残してあります。" + target +
                                           " が不要なら削除してから、Quillonを起動し直してください。"));
        return;
    }

    auto job = std::make_unique<TSettings>();
    try {
        job->LoadFromFile(path);
    } catch (const EFileError& e) {
        Problems.push_back(
            "ジョブ設定ファイル " + path + " を読み込めないため、取り込みませんでした（" + reason(e) +
            "）。このファイルはそのまま残してあります。読み込めるようにしてから、Quillonを起動し"
            "直してください。");
        return;
    }

    if (held.count(ExtractFileName(target))) {
        // The record outlived its file: it goes before a file of that name holds another job, or a later
        // start-up would take that job for one the main file holds.
        Records present;
        for (const auto& [name, digest] : held)
            if (FileExists(ProgramFolder() + name))
                present.emplace(name, digest);
        try {
            IniFile ini(mainPath_);
            writeImported(ini, present);
            change(FileChange::Write, mainPath_);
            ini.UpdateFile();
        } catch (const EFileError& e) {
            Problems.push_back(
                "ジョブ設定ファイル " + path + " を取り込めませんでした（設定ファイル " + mainPath_ +
                " に書き込めません：" + reason(e) + "）。" + path +
                " はそのまま残してあります。設定ファイルに書き込めるようにしてから、Quillonを起動"
                "し直してください。");
            return;
        }
        held = std::move(present);
        step("stale record removed");
    }

    change(FileChange::Move, path, target);
    try {
        RenameFile(path, target);
    } catch (const EFileError& e) {
        Problems.push_back("ジョブ設定ファイル " + path + " を取り込めませんでした（" +
                           ExtractFileName(target) + " に名前を変更できません：" + reason(e) + "）。" + path +
                           " はそのまま残してあります。フォルダー " + ProgramFolder() +
                           " に書き込めるようにしてから、Quillonを起動し直してください。");
        return;
    }
    consumed_.push_back(target);
    appendItem(adopt(std::move(job)));
    step("job file imported");
}

void JobStore::Save() {
    if (saveRefused_)
        throw ESaveRefused(refusal_);
    auto cannotWrite = [this](const EFileError& e) {
        return EFileError(mainPath_ + " に書き込めません（" + reason(e) + "）。", e.code());
    };
    // The file is read again so that whatever it holds besides the program's keys survives.
    IniFile ini = [&] {
        try {
            return IniFile(mainPath_);
        } catch (const EFileError& e) {
            throw cannotWrite(e);
        }
    }();
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
    Records records;
    std::vector<std::string> held;
    for (const std::string& path : consumed_) {
        std::string digest = FileExists(path) ? MD5File(path) : std::string();
        if (!digest.empty()) {
            records[ExtractFileName(path)] = digest;
            held.push_back(path);
        }
    }
    writeImported(ini, records);
    step("main file prepared");
    change(FileChange::Write, mainPath_);
    try {
        ini.UpdateFile();
    } catch (const EFileError& e) {
        throw cannotWrite(e);
    }
    step("main file written");

    // Only now that every job is in the main file may the imported files go.
    consumed_.clear();
    for (const std::string& path : held) {
        change(FileChange::Remove, path);
        if (RemoveFile(path))
            records.erase(ExtractFileName(path));
        else
            consumed_.push_back(path); // recorded again at the next save
        step("job file deleted");
    }
    if (consumed_.size() < held.size()) {
        // The records go with their files. Should this write fail or be cut short, a start-up removes a
        // stale record before a file of its name is made again.
        writeImported(ini, records);
        change(FileChange::Write, mainPath_);
        try {
            ini.UpdateFile();
        } catch (const EFileError&) {
        }
        step("records removed");
    }
}
