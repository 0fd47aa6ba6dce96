// The network update job: bring the server's files and its updates2.dau up to date.
#include "Settings.h"

#include "RemotePath.h"

#include "HttpFetch.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "platform/UserPrompts.h"
#include "platform/Wildcard.h"
#include "updatelist/MD5.h"
#include "updatelist/ReleaseCheck.h"
#include "updatelist/RemoteList.h"
#include "updatelist/Updates2dau.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>

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

// A home URL the release can be checked at: http or https, in any letter case.
bool isWebUrl(const std::string& url) {
    const size_t end = url.find("://");
    if (end == std::string::npos)
        return false;
    const std::string scheme = url.substr(0, end);
    return SameNoCase(scheme, "http") || SameNoCase(scheme, "https");
}

// A path as UTF-8 text (its plain string() is in the ANSI code page on Windows).
std::string utf8(const std::filesystem::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A folder of its own in the system's temporary folder, removed with what it holds; a preview fetches the
// server's list there, since it writes nothing into the base folder.
class TemporaryFolder {
public:
    TemporaryFolder() {
        const std::filesystem::path root = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            std::filesystem::path p = root / ("quillon-preview-" + std::to_string(random()));
            if (std::filesystem::create_directory(p))
                path_ = p;
        }
        if (path_.empty())
            throw EFileError(utf8(root) + " に作業用のフォルダーを作成できません。");
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    std::string File(const std::string& name) const { return utf8(path_ / std::filesystem::u8path(name)); }

private:
    std::filesystem::path path_;
};

// The preview's view of the folders below the upload directory: which exist, found with CWD alone.
class RemoteFolders {
public:
    RemoteFolders(TFTPClient& ftp, bool uploadDirMissing) : ftp_(ftp), allMissing_(uploadDirMissing) {}

    // The levels of `folder` (relative, '\' between levels and at the end) that an upload would create,
    // each told once, as "a/b/". The client ends where it was.
    std::vector<std::string> ToCreate(const std::string& folder) {
        std::vector<std::string> created;
        const std::string start = ftp_.CurrentDir();
        for (size_t sep = folder.find('\\'); sep != std::string::npos; sep = folder.find('\\', sep + 1)) {
            const std::string level = ReplaceChar(folder.substr(0, sep + 1), '\\', '/');
            if (!exists(level, start) && told_.insert(level).second)
                created.push_back(level);
        }
        return created;
    }

private:
    bool exists(const std::string& level, const std::string& start) {
        if (allMissing_)
            return false;
        if (auto known = known_.find(level); known != known_.end())
            return known->second;
        // A level below a missing one is missing too.
        const size_t parentEnd = level.find_last_of('/', level.size() - 2);
        if (parentEnd != std::string::npos) {
            auto parent = known_.find(level.substr(0, parentEnd + 1));
            if (parent != known_.end() && !parent->second)
                return known_[level] = false;
        }
        bool found = true;
        try {
            ftp_.ChangeDir(level.substr(0, level.size() - 1));
        } catch (const EFTPError&) {
            if (!ftp_.Connected())
                throw;
            found = false;
        }
        if (found) {
            if (!start.empty())
                ftp_.ChangeDir(start);
            else
                for (char c : level)
                    if (c == '/')
                        ftp_.ChangeDirUp();
        }
        return known_[level] = found;
    }

    TFTPClient& ftp_;
    bool allMissing_;
    std::map<std::string, bool> known_;
    std::set<std::string> told_;
};

} // namespace

bool TSettings::RunNetwork() {
    std::vector<std::string> uploads; // full local paths, in the order they were chosen
    std::vector<bool> fresh;          // for each upload: not on the server at all
    const std::string base = BaseFolder();
    std::unique_ptr<TemporaryFolder> previewFolder;
    if (previewing_)
        previewFolder = std::make_unique<TemporaryFolder>();
    const std::string working = previewing_ ? previewFolder->File("updates2.dau") : base + "updates2.dau";
    bool uploadDirMissing = false;
    bool published = false;

    std::unique_ptr<TFTPClient> ftp = CreateFTPOrFail(); // the password is asked before the list is built
    if (!ftp)
        return false;
    ftp->SetTransferType(TFTPClient::ftBinary);
    TUpdates2dau local;
    try {
        if (!MakeFileList(local))
            return false;
    } catch (const ECancelled& e) {
        LogTransferFailure(e.what());
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
                    fresh.push_back(true);
                } else if (*digest != entry.Digest) {
                    Log(entry.FileName + "は更新されています。アップロード対象とします。");
                    uploads.push_back(entry.FullPath);
                    fresh.push_back(false);
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
            if (previewing_) {
                Log("ターゲットディレクトリが見つかりません。");
                Log("[プレビュー] ディレクトリ" + Directory + "を作成します。");
                uploadDirMissing = true;
            } else {
                CreateUploadDirectory(*ftp);
            }
            for (size_t i = 0; i < local.Count(); ++i) {
                uploads.push_back(local[i].FullPath);
                fresh.push_back(true);
            }
        }

        if (previewing_) {
            previewUploads(*ftp, uploads, fresh, uploadDirMissing);
            RemoveFile(working);
            ftp->Quit();
            return true;
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
            published = true;
        }
        RemoveFile(working);
        succeeded = true;
    } catch (const std::exception& e) {
        LogTransferFailure(e.what());
    }
    ftp->Quit();
    if (succeeded && published && HomeUrlCheck) {
        // What the users' baseware will read: the list and the files at the ghost's home URL.
        const std::string homeUrl = GhostHomeUrl(base);
        if (isWebUrl(homeUrl))
            succeeded = proveHomeUrl(homeUrl, local, uploads);
    }
    return succeeded;
}

bool TSettings::proveHomeUrl(const std::string& homeUrl, const TUpdates2dau& local,
                             const std::vector<std::string>& uploads) {
    Log("ホームURL(" + homeUrl + ")で公開内容を確認します。");
    ReportStep("ホームURLで確認しています");
    HttpGetOptions options;
    options.CAFile = ClientOptions.CAFile;
    options.ConnectTimeoutMs = ClientOptions.ConnectTimeoutMs;
    options.StallTimeoutMs = ClientOptions.StallTimeoutMs;
    // Joined as the baseware joins them, so that a home URL without its '/' fails here as it will there.
    const std::string& base = homeUrl;
    const std::string likelyCause = "アップロード先ディレクトリとホームURLが同じ場所を指しているか、"
                                    "サイトの前にキャッシュがないか確認してください。";
    // Checks one published file; false (logged) when the home URL serves other bytes or nothing.
    const auto check = [&](const std::string& name, const std::string& cp932Name,
                           const std::function<bool(const std::string&)>& same, int64_t size) {
        const std::string url = base + PercentEncodePath(cp932Name);
        options.MaxBytes = size;
        std::string body;
        try {
            body = HttpGet(url, options);
        } catch (const ECancelled&) {
            throw;
        } catch (const std::exception& e) {
            Log("ホームURLの確認に失敗しました：" + url + "を取得できません（" + e.what() + "）。" +
                likelyCause);
            return false;
        }
        if (same(body))
            return true;
        Log("ホームURLの確認に失敗しました：" + url + "の内容が、今回アップロードした" + name +
            "と違います。" + likelyCause);
        return false;
    };
    try {
        const std::string list = local.GetText();
        if (!check(
                "updates2.dau", "updates2.dau", [&](const std::string& body) { return body == list; },
                static_cast<int64_t>(list.size())))
            return false;
        std::set<std::string> uploaded(uploads.begin(), uploads.end());
        for (size_t i = 0; i < local.Count(); ++i) {
            const TElementFile& entry = local[i];
            if (!uploaded.count(entry.FullPath))
                continue;
            if (!check(
                    entry.FileName, entry.FileNameCp932,
                    [&](const std::string& body) { return MD5String(body) == entry.Digest; },
                    std::max<int64_t>(0, FileSize(entry.FullPath))))
                return false;
        }
    } catch (const ECancelled& e) {
        Log(std::string("ホームURLの確認に失敗しました：") + e.what());
        return false;
    }
    Log("ホームURL(" + homeUrl + ")が今回のリリースを配信していることを確認しました。");
    return true;
}

void TSettings::previewUploads(TFTPClient& ftp, const std::vector<std::string>& uploads,
                               const std::vector<bool>& fresh, bool uploadDirMissing) {
    const std::string base = BaseFolder();
    RemoteFolders folders(ftp, uploadDirMissing);
    size_t created = 0, added = 0;
    ReportStep("プレビューしています");
    for (size_t i = 0; i < uploads.size(); ++i) {
        std::string relative = RemoveFirst(uploads[i], base);
        size_t lastSep = relative.rfind('\\');
        if (lastSep != std::string::npos)
            for (const std::string& level : folders.ToCreate(relative.substr(0, lastSep + 1))) {
                Log("[プレビュー] ディレクトリ" + level + "を作成します。");
                ++created;
            }
        relative = ReplaceChar(relative, '\\', '/');
        Log("[プレビュー] " + relative + "をアップロードします。" + (fresh[i] ? "（新規）" : "（更新）"));
        added += fresh[i] ? 1 : 0;
        Prompts().ProcessMessages();
        ThrowIfCancelled();
    }
    if (uploads.empty())
        Log("更新されたファイルはありません。");
    else
        Log("[プレビュー] updates2.dauを公開します。");
    Log("プレビューの結果: アップロード" + std::to_string(uploads.size()) + "件（新規" +
        std::to_string(added) + "件、更新" + std::to_string(uploads.size() - added) +
        "件）、作成するディレクトリ" + std::to_string(created + (uploadDirMissing ? 1 : 0)) +
        "件、updates2.dauは" + (uploads.empty() ? "そのままです。" : "新しくなります。"));
}
