// The network update job: bring the server's files and its updates2.dau up to date.
#include "Settings.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/UserPrompts.h"
#include "updatelist/Updates2dau.h"

bool TSettings::RunNetwork() {
    std::vector<std::string> uploads; // full local paths, in the order they were chosen
    const std::string base = BaseFolder();
    const std::string working = base + "updates2.dau";

    std::unique_ptr<TFTPClient> ftp = CreateFTP(); // the password is asked before the list is built
    ftp->SetTransferType(TFTPClient::ftBinary);
    TUpdates2dau local;
    if (!MakeFileList(local))
        return false;

    bool succeeded = false;
    try {
        ftp->Connect();
        Log(ftp->Host + "へ接続します。");
        try {
            ftp->ChangeDir(Directory);
            TUpdates2dau remote;
            RemoveFile(working);
            Log("updates2.dauを取得します。");
            try {
                ftp->Get("updates2.dau", working);
            } catch (const std::exception&) {
                Log("リモートのupdates2.dauの取得に失敗しました");
            }
            try {
                remote.LoadFromFile(working);
            } catch (const std::exception&) {
                Log("リモートのupdates2.dauのロードに失敗しました"); // go on with the entries read so far
            }
            Log("MD5を照合します。");
            for (size_t i = 0; i < local.Count(); ++i) {
                const TElementFile& entry = local[i];
                const TElementFile* there = remote.FindByName(entry.FileNameCp932);
                if (!there) {
                    Log(entry.FileName + "はリモートサーバ上に存在しません。アップロード対象とします。");
                    uploads.push_back(entry.FullPath);
                } else if (there->Digest != entry.Digest) {
                    Log(entry.FileName + "は更新されています。アップロード対象とします。");
                    uploads.push_back(entry.FullPath);
                }
            }
        } catch (const std::exception&) {
            CreateUploadDirectory(*ftp);
            for (size_t i = 0; i < local.Count(); ++i)
                uploads.push_back(local[i].FullPath);
        }

        for (const std::string& path : uploads) {
            std::string relative = RemoveFirst(path, base);
            size_t lastSep = relative.rfind('\\');
            if (lastSep != std::string::npos)
                MakeRemoteDirs(*ftp, relative.substr(0, lastSep + 1));
            relative = ReplaceChar(relative, '\\', '/');
            Log(relative + "をアップロードします。");
            ftp->Put(path, relative);
            Prompts().ProcessMessages();
        }

        if (uploads.empty()) {
            Log("更新されたファイルはありません。");
        } else {
            RemoveFile(working);
            local.SaveToFile(working);
            Log("updates2.dauをアップロードします。");
            ftp->Put(working, "updates2.dau");
        }
        RemoveFile(working);
        succeeded = true;
    } catch (const std::exception& e) {
        Log(std::string("FTP接続が出来ませんでした。転送は行われません：") + e.what());
    }
    ftp->Quit();
    return succeeded;
}
