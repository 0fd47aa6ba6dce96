// The network update job: bring the server's files and its updates2.dau up to date.
#include "Settings.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "platform/UserPrompts.h"
#include "updatelist/RemoteList.h"
#include "updatelist/Updates2dau.h"

#include <algorithm>

namespace {

// What the log window shows of the uploads: files done of all, and the bytes of the whole upload.
class UploadProgress {
public:
    UploadProgress(std::string step, const std::vector<std::string>& paths, const TFTPClient& ftp)
        : ftp_(ftp) {
        progress_.Step = std::move(step);
        progress_.Total = static_cast<int64_t>(paths.size());
        for (const std::string& p : paths)
            progress_.BytesTotal += std::max<int64_t>(0, FileSize(p));
    }
    void Moved(int64_t bytes) {
        progress_.BytesDone = std::min(progress_.BytesTotal, progress_.BytesDone + bytes);
        Show();
    }
    void Show() {
        progress_.Done = ftp_.UploadsDone();
        ReportProgress(progress_);
    }

private:
    const TFTPClient& ftp_;
    RunProgress progress_;
};

// Far above the list of any ghost: a bigger file from the server is refused rather than filling the disk.
constexpr int64_t MaxServerListBytes = int64_t(64) << 20;

} // namespace

bool TSettings::RunNetwork() {
    std::vector<std::string> uploads; // full local paths, in the order they were chosen
    const std::string base = BaseFolder();
    const std::string working = base + "updates2.dau";

    std::unique_ptr<TFTPClient> ftp = CreateFTP(); // the password is asked before the list is built
    ftp->SetTransferType(TFTPClient::ftBinary);
    TUpdates2dau local;
    try {
        if (!MakeFileList(local))
            return false;
    } catch (const ECancelled& e) {
        Log(std::string("FTP接続が出来ませんでした。転送は行われません：") + e.what());
        return false;
    }

    bool succeeded = false;
    try {
        ConnectFTP(*ftp);
        try {
            ftp->ChangeDir(Directory);
            TRemoteList remote;
            RemoveFile(working);
            Log("updates2.dauを取得します。");
            ReportStep("updates2.dauを取得しています");
            try {
                ftp->Get("updates2.dau", working, MaxServerListBytes);
            } catch (const ECancelled&) {
                throw;
            } catch (const EFTPTooLarge& e) {
                throw EFTPTooLarge(std::string("サーバーのupdates2.dauを取得できません：") + e.what() +
                                   "サーバーの" + Directory + "にあるupdates2.dauを確認してください。");
            } catch (const std::exception&) {
                Log("リモートのupdates2.dauの取得に失敗しました");
                if (!ftp->Connected())
                    throw; // a lost session is no missing list: nothing below could be told right
            }
            const auto pump = [] {
                Prompts().ProcessMessages();
                ThrowIfCancelled();
            };
            try {
                if (!remote.Load(ReadFileBytes(working), pump))
                    Log("リモートのupdates2.dauのロードに失敗しました"); // go on with the entries read so far
            } catch (const EFileError&) {
                Log("リモートのupdates2.dauのロードに失敗しました");
            }
            Log("MD5を照合します。");
            ReportStep("MD5を照合しています");
            for (size_t i = 0; i < local.Count(); ++i) {
                const TElementFile& entry = local[i];
                const std::string_view* digest = remote.Find(entry.FileNameCp932);
                if (!digest) {
                    Log(entry.FileName + "はリモートサーバ上に存在しません。アップロード対象とします。");
                    uploads.push_back(entry.FullPath);
                } else if (*digest != entry.Digest) {
                    Log(entry.FileName + "は更新されています。アップロード対象とします。");
                    uploads.push_back(entry.FullPath);
                }
                if (i % 256 == 255)
                    pump();
            }
        } catch (const ECancelled&) {
            throw;
        } catch (const EFTPTooLarge&) {
            throw;
        } catch (const std::exception&) {
            if (!ftp->Connected())
                throw; // the session is gone, not the directory
            CreateUploadDirectory(*ftp);
            for (size_t i = 0; i < local.Count(); ++i)
                uploads.push_back(local[i].FullPath);
        }

        UploadProgress progress("アップロードしています", uploads, *ftp);
        ftp->OnBytesMoved = [&](int64_t bytes) { progress.Moved(bytes); };
        for (const std::string& path : uploads) {
            ftp->ThrowIfUploadFailed(); // an upload's failure is told as that upload's, not the next step's
            std::string relative = RemoveFirst(path, base);
            size_t lastSep = relative.rfind('\\');
            if (lastSep != std::string::npos)
                MakeRemoteDirs(*ftp, relative.substr(0, lastSep + 1));
            relative = ReplaceChar(relative, '\\', '/');
            // The line tells when the upload is handed to a connection; several may run at once.
            ftp->WaitForFreeConnection();
            Log(relative + "をアップロードします。");
            ftp->StartPut(path, relative);
            progress.Show();
            Prompts().ProcessMessages();
            ThrowIfCancelled();
        }
        // Every file has to be there before the new list may say so.
        ftp->WaitForUploads();
        progress.Show();
        ftp->OnBytesMoved = nullptr;

        if (uploads.empty()) {
            Log("更新されたファイルはありません。");
        } else {
            RemoveFile(working);
            local.SaveToFile(working);
            Log("updates2.dauをアップロードします。");
            PublishFile(*ftp, working, "updates2.dau");
        }
        RemoveFile(working);
        succeeded = true;
    } catch (const std::exception& e) {
        Log(std::string("FTP接続が出来ませんでした。転送は行われません：") + e.what());
    }
    ftp->Quit();
    return succeeded;
}
