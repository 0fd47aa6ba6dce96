// The archive jobs: a dated .nar archive of the ghost, left in place or uploaded with its web page.
#include "Settings.h"

#include "archive/ArchiveFile.h"
#include "archive/ArchiverOptions.h"
#include "archive/ZipCommand.h"
#include "archive/ZipWriter.h"
#include "platform/Clock.h"
#include "platform/Cp932.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "updatelist/Updates2dau.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace {

// The name the archive is packed under before it gets its own.
constexpr const char* TemporaryArchive = "temp.zip";

// Replaces every occurrence of `from`, left to right; the inserted text is not searched again.
std::string replaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string out;
    size_t start = 0;
    for (size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size())
        out.append(text, start, at - start).append(to);
    return out.append(text, start, std::string::npos);
}

std::string digits(const char* format, int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// The archive's name with its date and time placeholders filled, all from one reading of the clock so that
// the parts of one name never straddle a second.
std::string fillNamePlaceholders(const std::string& name, const std::tm& now) {
    const int year = now.tm_year + 1900;
    std::string n = replaceAll(name, "%year", digits("%.4d", year));
    n = replaceAll(n, "%shortyear", digits("%.2d", year % 100));
    n = replaceAll(n, "%month", digits("%.2d", now.tm_mon + 1));
    n = replaceAll(n, "%day", digits("%.2d", now.tm_mday));
    n = replaceAll(n, "%hour", digits("%.2d", now.tm_hour));
    n = replaceAll(n, "%minute", digits("%.2d", now.tm_min));
    return replaceAll(n, "%second", digits("%.2d", now.tm_sec));
}

// Every line of the page ended by CR LF, whatever ended it before (CR LF, CR or LF; a last line without
// one gets one). The page is bytes in its own encoding; no byte of it, NUL included, is lost.
std::string withCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    if (!out.empty() && out.back() != '\n')
        out += "\r\n";
    return out;
}

// The page with its upload placeholders filled. Date and time are text of the platform; the page, like
// every text the program writes, takes them as CP932.
std::string fillPagePlaceholders(const std::string& page, const std::tm& now, int64_t archiveSize) {
    std::string p = replaceAll(page, "%uploaddate", Utf8ToCp932Lossy(FormatShortDate(now)));
    p = replaceAll(p, "%uploadtime", Utf8ToCp932Lossy(FormatLongTime(now)));
    return replaceAll(p, "%uploadsize", std::to_string(archiveSize / 1024) + " KB");
}

// True for the relative path of the temporary archive itself, which must never be packed into itself,
// and for a temporary of the zip writer beside it (one a running pack still holds).
bool isTemporaryArchive(const std::string& relative) {
    const std::string temp = TemporaryArchive;
    if (SameFileName(relative, temp))
        return true;
    return relative.size() > temp.size() && SameFileName(relative.substr(0, temp.size()), temp) &&
           IsZipWriterTemporary(temp, relative);
}

// The folder entries a relative path of the list (with '\') stands for. The system may allow '\' in a
// name, which that path cannot tell from a separator, so the folders are looked at: a part that is no
// folder is joined to the next. Empty when the parts lead to no file.
std::vector<std::string> entryNames(const std::string& base, const std::string& relative) {
    namespace fs = std::filesystem;
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        size_t at = relative.find('\\', start);
        parts.push_back(relative.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            break;
        start = at + 1;
    }
    std::vector<std::string> names;
    fs::path folder = fs::u8path(NativePath(base));
    std::error_code error;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string name = parts[i];
        while (i + 1 < parts.size() && !fs::is_directory(folder / fs::u8path(name), error))
            name += "\\" + parts[++i];
        folder /= fs::u8path(name);
        names.push_back(name);
    }
    if (!fs::is_regular_file(folder, error))
        return {};
    return names;
}

// The line that refuses a selected file whose name the archive's users could not hold: a character CP932
// lacks (found when the list was made), a character Windows forbids in names, or a control character.
// Empty when the name can be packed.
std::string unpackableName(const std::string& base, const std::string& relative) {
    std::string shown; // control characters would break the log line
    for (unsigned char c : relative) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", c);
            shown += hex;
        } else {
            shown += static_cast<char>(c);
        }
    }
    for (const std::string& name : entryNames(base, relative))
        for (unsigned char c : name) {
            if (c < 0x20 || c == 0x7F) {
                char code[8];
                std::snprintf(code, sizeof code, "0x%02X", c);
                return shown + " のファイル名は制御文字（" + code + "）を含むため、処理できません。";
            }
            if (std::strchr("\\/:*?\"<>|", c))
                return shown + " のファイル名は「" + std::string(1, static_cast<char>(c)) +
                       "」を含むため、処理できません。";
        }
    return {};
}

// True when both paths name one existing file, however they are spelt.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::u8path(NativePath(a)),
                                       std::filesystem::u8path(NativePath(b)), error);
}

// A name in the base folder for the filled-in page that names no existing file, so that a page template
// lying there (or any other file of the page's name) is neither overwritten nor removed.
std::string temporaryPagePath(const std::string& base, const std::string& pageName) {
    std::string path = base + "temp_" + pageName;
    for (int n = 1; PathExists(path); ++n)
        path = base + "temp" + std::to_string(n) + "_" + pageName;
    return path;
}

// Deletes `path` when something of that name exists; false with the reason when it stays.
bool removeIfPresent(const std::string& path, bool filesOnly, std::string& reason) {
    if (filesOnly ? !FileExists(path) : !PathExists(path))
        return true;
    if (RemoveFile(path))
        return true;
    int code = errno;
    reason = path + " を削除できません：" + FileErrorText(code);
    return false;
}

// What the archiver library said about its failure (its output buffer, CP932), or its code.
std::string libraryMessage(const TArchiveFile& archive, int code) {
    const std::string& output = archive.Output();
    std::string message = Cp932ToUtf8(output.substr(0, output.find('\0')));
    if (!message.empty())
        return message;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(code));
    return std::string("書庫ライブラリがエラーコード ") + hex + " を返しました。";
}

} // namespace

int64_t TSettings::GetLocalFileSize(const std::string& path) {
    int64_t size = FileSize(path);
    return size < 0 ? 0 : size;
}

void TSettings::DropTemporaryArchives(TUpdates2dau& list) {
    // A temp.zip left by an earlier failure, or one a running pack writes, is neither distributed nor
    // packed into the new one.
    for (size_t i = list.Count(); i-- > 0;)
        if (isTemporaryArchive(list[i].RelativePath))
            list.Delete(i);
}

std::string TSettings::MakeNar() {
    const std::string base = BaseFolder();
    const std::string temp = base + TemporaryArchive;
    // What a killed pack left behind goes before the list is made, so that no pattern selects it.
    RemoveStaleZipTemporaries(NativePath(temp));
    TUpdates2dau list;
    try {
        if (!MakeFileList(list))
            return {};
    } catch (const ECancelled& e) {
        Log(std::string("圧縮処理に失敗しました。") + e.what());
        return {};
    }

    // A name the archive cannot carry stops the job before anything is written.
    for (size_t i = 0; i < list.Count(); ++i)
        if (std::string refused = unpackableName(base, list[i].RelativePath); !refused.empty()) {
            Log(refused);
            return {};
        }
    std::vector<std::string> names;
    for (size_t i = 0; i < list.Count(); ++i)
        names.push_back(list[i].RelativePath);

    if (previewing_)
        return previewNar(list, names, fillNamePlaceholders(NarName, LocalNow()));

    // Not caught: a base folder that cannot take updates2.dau ends the run (the caller reports it).
    list.SaveToFile(base + "updates2.dau");
    // A package without ghost/master (a shell or balloon) gets no such folder; the copy then just fails.
    CopyFileTo(base + "updates2.dau", base + "ghost\\master\\updates2.dau");

    TArchiveFile archive;
    archive.SetFileName(temp);
    archive.SetOutputSize(1024); // room for the library's message when it fails
    Log("圧縮処理を開始します。");
    TArchiverOptions options;
    options.UserOptions = "-9 -X";

    auto failed = [this](const std::string& reason) {
        Log("圧縮処理に失敗しました。" + reason);
        return std::string();
    };
    std::string reason;
    try {
        // Only a temp.zip made now may become the archive, never one an earlier run left behind.
        if (!removeIfPresent(temp, false, reason))
            return failed(reason);
        // The component packs every file of the base folder when it is given no names at all.
        const std::string nothingToPack = "圧縮するファイルがないため、" + temp + " は作られませんでした。";
        if (names.empty())
            return failed(nothingToPack);
        ReportStep("圧縮しています");
        int code = archive.PackFiles(nullptr, &options, base, PackItems{names});
        if (code != 0)
            return failed(libraryMessage(archive, code));
        if (!FileExists(temp)) // the listed files were gone when the component looked for them
            return failed(nothingToPack);
        Log("圧縮処理を終了しました。");

        const std::string nar = fillNamePlaceholders(NarName, LocalNow());
        // The archive's name may reach temp.zip another way (folder/./temp.zip, a link): then it is there.
        if (!sameFile(nar, temp)) {
            // temp.zip stays for inspection when the archive cannot take its place.
            if (!removeIfPresent(nar, true, reason))
                return failed(reason);
            try {
                RenameFile(temp, nar);
            } catch (const EFileError& e) {
                // With temp.zip there, a missing entry is the archive's folder.
                const int code = e.code() == ENOENT && FileExists(temp) ? ENOTDIR : e.code();
                return failed(temp + " の名前を " + nar + " に変更できません：" + FileErrorText(code));
            }
        }
        Log(nar + "を生成しました。");
        return nar;
    } catch (const ECancelled& e) {
        return failed(e.what());
    } catch (const std::exception& e) {
        return failed(e.what());
    }
}

bool TSettings::RunNarCreate() {
    Log("NARを生成します。");
    return !MakeNar().empty();
}

bool TSettings::RunUpload() {
    Log("NARを生成します。");
    const std::string archive = MakeNar();
    if (archive.empty())
        return false;
    if (previewing_)
        return previewUpload(archive);

    std::unique_ptr<TFTPClient> ftp = CreateFTPOrFail();
    if (!ftp)
        return false;
    ftp->SetTransferType(TFTPClient::ftBinary);
    const std::string base = BaseFolder();
    std::string pageFile; // the filled-in page, removed on every way out
    bool succeeded = false;
    try {
        ConnectFTP(*ftp);
        EnterUploadDirectory(*ftp);
        Log(archive + "をアップロードします。");
        RunProgress progress{"アップロードしています", 0, 1, 0, GetLocalFileSize(archive)};
        ftp->OnBytesMoved = [&](int64_t bytes) {
            progress.BytesDone += bytes;
            ReportProgress(progress);
        };
        // Under a temporary name first: a link cut mid-upload must not leave a truncated archive live
        // while the page links to it.
        PublishFile(*ftp, archive, ExtractFileName(archive));
        ftp->OnBytesMoved = nullptr;
        const int64_t size = GetLocalFileSize(archive);
        Log(archive + "をアップロードしました。");
        RemoveFile(archive);

        if (!HTML.empty()) {
            const std::string page = withCrLf(ReadFileBytes(HTML));
            const std::string filled = fillPagePlaceholders(page, LocalNow(), size);
            const std::string pageName = ExtractFileName(HTML);
            const std::string shown = base + pageName; // where the page is published from, for the log
            pageFile = temporaryPagePath(base, pageName);
            WriteFileBytes(pageFile, filled);
            Log(shown + "をアップロードします。");
            ftp->SetTransferType(TFTPClient::ftASCII);
            ftp->Put(pageFile, pageName);
            Log(shown + "をアップロードしました。");
        }
        succeeded = true;
    } catch (const std::exception& e) {
        LogTransferFailure(e.what());
    }
    if (!pageFile.empty())
        RemoveFile(pageFile);
    ftp->Quit();
    return succeeded;
}
