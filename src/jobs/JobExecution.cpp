// Running a job: Run, Log and the file list shared by every kind.
#include "Settings.h"

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
    bool clean = list.Build(ProcessName, ExcludeName);
    // A name without a Shift_JIS form could be neither listed nor published unchanged: stop here.
    list.CheckNamesEncodable();
    if (!clean) {
        Log("delete.txtに問題となる可能性のある記述を検出しました。");
        Log(list.ProblemText);
        if (!Prompts().AskYesNo("警告",
                                "delete.txtに問題となる可能性のある記述を検出しました。\r\n続行しますか？",
                                UserPrompts::Icon::Warning))
            return false;
    }
    Log(list.GetFileListText());
    Log("ファイルリストを生成しました。");
    return true;
}
