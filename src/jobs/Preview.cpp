// The archive jobs' preview: what the archive would hold and where it would go, with nothing written.
#include "Settings.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "updatelist/Updates2dau.h"

#include <algorithm>
#include <cerrno>

std::string TSettings::previewNar(const TUpdates2dau& list, const std::vector<std::string>& names,
                                  const std::string& nar) {
    if (names.empty()) {
        Log("[プレビュー] 収録するファイルがないため、アーカイブは生成されません。");
        return {};
    }
    // The lists are written anew before packing, so the archive carries them with the new contents.
    const int64_t listBytes = static_cast<int64_t>(list.GetText().size());
    int64_t bytes = 0;
    for (const std::string& name : names)
        bytes += name == "updates2.dau" || name == "ghost\\master\\updates2.dau"
                     ? listBytes
                     : std::max<int64_t>(0, FileSize(list.BaseFolder + name));
    Log("[プレビュー] updates2.dauとghost\\master\\updates2.dauを書き込みます。");
    Log("[プレビュー] " + nar + "を生成します。収録ファイル" + std::to_string(names.size()) +
        "件、展開後の合計" + std::to_string(bytes) + "バイトです。");
    return nar;
}

bool TSettings::previewUpload(const std::string& archive) {
    std::unique_ptr<TFTPClient> ftp = CreateFTPOrFail();
    if (!ftp)
        return false;
    bool succeeded = false;
    try {
        ConnectFTP(*ftp);
        try {
            ftp->ChangeDir(Directory);
        } catch (const EFTPError&) {
            if (!ftp->Connected())
                throw;
            Log("[プレビュー] ターゲットディレクトリ" + Directory + "を作成します。");
        }
        Log("[プレビュー] " + ExtractFileName(archive) + "をアップロードします。");
        if (!HTML.empty()) {
            if (!FileExists(HTML))
                ThrowFileError(FileAction::Open, HTML, ENOENT);
            Log("[プレビュー] " + ExtractFileName(HTML) + "の日付・時刻・サイズを埋めてアップロードします。");
        }
        succeeded = true;
    } catch (const std::exception& e) {
        LogTransferFailure(e.what());
    }
    ftp->Quit();
    return succeeded;
}
