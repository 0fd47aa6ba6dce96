#include "FileSystem.h"

#include "Errors.h"
#include "Paths.h"

#include <cerrno>

namespace {

#ifdef EDQUOT
constexpr int quotaExceeded = EDQUOT;
#else
constexpr int quotaExceeded = -1; // Windows reports a full quota as a full disk
#endif

} // namespace

// The system's file operations are in FileSystemPosix.cpp and FileSystemWindows.cpp; both report errno
// numbers (Windows' own error codes are mapped to them), which these texts name.

std::string SystemErrorText(int code) {
    switch (code) {
    case ENOENT:
        return "File not found";
    case ENOTDIR:
        return "Path not found";
    case EMFILE:
        return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS:
        return "File access denied";
    case ENOSPC:
        return "Disk full";
    default:
        return "I/O error " + std::to_string(code);
    }
}

std::string SystemErrorReasonJa(int code) {
    switch (code) {
    case ENOENT:
        return "ファイルが見つかりません";
    case ENOTDIR:
        return "フォルダーが見つかりません";
    case EACCES:
    case EPERM:
        return "アクセスが許可されていません";
    case EROFS:
        return "読み取り専用のドライブです";
    case EISDIR:
        return "ファイルではなくフォルダーです";
    case EEXIST:
        return "同じ名前のファイルがすでにあります";
    case ENOSPC:
    case quotaExceeded:
        return "ディスクの空き容量が足りません";
    case EIO:
        return "ディスクの読み書きでエラーが起きました";
    case EMFILE:
    case ENFILE:
        return "開いているファイルが多すぎます";
    case ENAMETOOLONG:
        return "パスが長すぎます";
    case EBUSY:
    case ETXTBSY:
        return "ほかのプログラムが使用中です";
    case EXDEV:
        return "別のドライブへは移動できません";
    default:
        return "システムエラー " + std::to_string(code);
    }
}

void ThrowFileError(FileAction action, std::string_view path, int code) {
    const char* verb = action == FileAction::Open     ? " を開けません（"
                       : action == FileAction::Read   ? " を読み込めません（"
                       : action == FileAction::Create ? " を作成できません（"
                                                      : " に書き込めません（";
    throw EFileError(std::string(path) + verb + SystemErrorReasonJa(code) + "）。", code);
}

bool GetFileInfo(std::string_view path, FileInfo& info) {
    return GetFileInfoOfPath(NativePath(path), info);
}

std::string FindOnSearchPath(std::string_view file) {
    const std::string path = SearchPathVariable();
    const std::string_view list = path;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(PathListSeparator, start);
        std::string_view dir = list.substr(start, end == std::string_view::npos ? list.npos : end - start);
        std::string candidate = IncludeTrailingPathDelimiter(dir.empty() ? "." : dir) + std::string(file);
        if (candidate.size() <= 512 && FileExists(candidate))
            return candidate;
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return {};
}
