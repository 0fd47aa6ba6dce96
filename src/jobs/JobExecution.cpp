// Running a job: Run, Log and the file list shared by every kind.
#include "Settings.h"

#include "platform/RunControl.h"
#include "platform/UserPrompts.h"
#include "updatelist/ReleaseCheck.h"
#include "updatelist/Updates2dau.h"

namespace {

// The question shows this many findings at most; the log holds them all.
constexpr size_t FindingsInQuestion = 15;

} // namespace

bool TSettings::Run(bool preview) {
    Log(Name + "実行します。");
    struct PreviewScope {
        bool& flag;
        ~PreviewScope() { flag = false; }
    } scope{previewing_};
    previewing_ = preview;
    if (preview)
        Log("プレビューです。サーバーとローカルのファイルは何も変更しません。");
    bool result;
    if (Kind == Network)
        result = RunNetwork();
    else if (Kind == Upload)
        result = RunUpload();
    else
        result = RunNarCreate();
    Log(Name + "実行しました。\r\n");
    return result;
}

void TSettings::Log(const std::string& line) {
    if (LogLines)
        LogLines->Add(line);
}

void TSettings::LogTransferFailure(const std::string& reason) {
    Log("FTP接続が出来ませんでした。転送は行われません：" + reason);
}

bool TSettings::MakeFileList(TUpdates2dau& list) {
    list.BaseFolder = BaseFolder();
    Log("ファイルリストを生成します。");
    ReportStep("ファイルリストを生成しています");
    bool clean = list.Build(ProcessName, ExcludeName);
    // A name without a CP932 form of its own could be neither published nor packed as it is: the job
    // stops before it asks anything or connects, and the run goes on with the next job.
    if (const TElementFile* bad = list.FirstUnencodableName()) {
        Log(bad->RelativePath + " のファイル名はCP932で表せないため、処理できません。");
        return false;
    }
    const TElementFile *first = nullptr, *second = nullptr;
    if (list.FindNameCollision(first, second)) {
        Log(first->RelativePath + " と " + second->RelativePath +
            " はCP932では同じ名前になるため、処理できません。");
        return false;
    }
    // The list as found is what the log shows; the archive's own temporaries are no part of the release.
    const std::string found = list.GetFileListText();
    if (Kind != Network)
        DropTemporaryArchives(list);
    // What the users' side would make of this release, asked in the same question as delete.txt.
    const std::vector<std::string> findings =
        CheckRelease(list, Kind == Network ? ReleaseKind::NetworkUpdate : ReleaseKind::Archive);
    if (!clean || !findings.empty()) {
        // The release findings come first, so that a delete.txt warning stays the last line before the
        // job's end when the user stops here.
        std::string question;
        if (!findings.empty()) {
            const std::string heading =
                "公開前の確認で、利用者側で問題となる可能性のある点が見つかりました。";
            std::string lines;
            for (const std::string& f : findings)
                lines += f + "\r\n";
            Log(heading);
            Log(lines);
            question += heading + "\r\n";
            for (size_t i = 0; i < findings.size() && i < FindingsInQuestion; ++i)
                question += findings[i] + "\r\n";
            if (findings.size() > FindingsInQuestion)
                question +=
                    "ほか" + std::to_string(findings.size() - FindingsInQuestion) + "件（ログを参照）\r\n";
            if (!clean)
                question += "\r\n";
        }
        if (!clean) {
            Log("delete.txtに問題となる可能性のある記述を検出しました。");
            Log(list.ProblemText);
            question += "delete.txtに問題となる可能性のある記述を検出しました。\r\n";
        }
        if (previewing_)
            Log("プレビューのため、確認せずに続けます。");
        else if (!Prompts().ConfirmFindings("警告", question + "続行しますか？"))
            return false;
    }
    Log(found);
    Log("ファイルリストを生成しました。");
    return true;
}
