// Running a job: Run, Log and the file list shared by every kind.
#include "Settings.h"

#include "platform/RunControl.h"
#include "platform/UserPrompts.h"
#include "updatelist/Updates2dau.h"

bool TSettings::Run() {
    Log(Name + "実行します。");
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
    if (!clean) {
        Log("delete.txtに問題となる可能性のある記述を検出しました。");
        Log(list.ProblemText);
        if (!Prompts().AskYesNo("警告",
                                "delete.txtに問題となる可能性のある記述を検出しました。\r\n続行しますか？",
                                UserPrompts::Icon::Warning, false))
            return false;
    }
    Log(list.GetFileListText());
    Log("ファイルリストを生成しました。");
    return true;
}
