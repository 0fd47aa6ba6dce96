#include "FileSystem.h"

#include "Errors.h"
#include "Paths.h"
#include "WindowsText.h"

#include <cerrno>
#include <cwchar>
#include <windows.h>

namespace {

int lastErrno() {
    return ErrnoOfWindowsError(GetLastError());
}

std::wstring widePath(std::string_view path) {
    return WideText(NativePath(path));
}

DWORD attributesOf(std::string_view path) {
    return GetFileAttributesW(widePath(path).c_str());
}

bool writeAll(HANDLE file, std::string_view bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left), done = 0;
        if (!WriteFile(file, p, chunk, &done, nullptr))
            return false;
        p += done;
        left -= done;
    }
    return true;
}

// The folder part of a wide path, with its separator ("" when there is none).
std::wstring folderOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/:");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

} // namespace

bool FileExists(std::string_view path) {
    DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::string_view path) {
    DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(std::string_view path) {
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

int64_t FileSize(std::string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

void RenameFile(std::string_view from, std::string_view to) {
    // Without MOVEFILE_REPLACE_EXISTING an existing target is refused; within a volume the move is one
    // step, to another volume a copy and delete.
    if (!MoveFileExW(widePath(from).c_str(), widePath(to).c_str(), MOVEFILE_COPY_ALLOWED)) {
        int code = lastErrno();
        throw EFileError(SystemErrorText(code), code);
    }
}

bool CopyFileTo(std::string_view from, std::string_view to) {
    return CopyFileW(widePath(from).c_str(), widePath(to).c_str(), FALSE);
}

bool RemoveFile(std::string_view path) {
    return DeleteFileW(widePath(path).c_str());
}

bool CreateDir(std::string_view path) {
    return CreateDirectoryW(widePath(path).c_str(), nullptr);
}

std::string ReadFileBytes(std::string_view path) {
    HANDLE file = CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // Windows refuses a folder as access denied: said as what it is.
        int code = lastErrno();
        ThrowFileError(FileAction::Open, path, code == EACCES && DirectoryExists(path) ? EISDIR : code);
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
            int code = lastErrno();
            CloseHandle(file);
            ThrowFileError(FileAction::Read, path, code);
        }
        if (n == 0)
            break;
        data.append(buffer, n);
    }
    CloseHandle(file);
    return data;
}

void WriteFileBytes(std::string_view path, std::string_view bytes) {
    HANDLE file = CreateFileW(widePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        ThrowFileError(FileAction::Create, path, lastErrno());
    bool ok = writeAll(file, bytes);
    int code = lastErrno();
    if (!CloseHandle(file) && ok) {
        ok = false;
        code = lastErrno();
    }
    if (!ok)
        ThrowFileError(FileAction::Write, path, code);
}

bool AppendFileBytes(std::string_view path, std::string_view bytes) {
    HANDLE file = CreateFileW(widePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = writeAll(file, bytes);
    return CloseHandle(file) && ok;
}

void WriteFileAtomic(std::string_view path, std::string_view bytes) {
    std::wstring target = widePath(path);
    DWORD old = GetFileAttributesW(target.c_str());
    bool exists = old != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        if (old & FILE_ATTRIBUTE_DIRECTORY)
            ThrowFileError(FileAction::Write, path, EISDIR);
        if (old & FILE_ATTRIBUTE_READONLY)
            ThrowFileError(FileAction::Write, path, EACCES);
    }
    std::wstring temp = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
    // Not shared for deleting: while it is written, RemoveLeftoverTemporaries cannot take it.
    HANDLE file =
        CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        ThrowFileError(FileAction::Create, path, lastErrno());
    bool ok = writeAll(file, bytes) && FlushFileBuffers(file);
    int code = ok ? 0 : lastErrno();
    if (!CloseHandle(file) && ok) {
        ok = false;
        code = lastErrno();
    }
    // The file's attributes (hidden, system, archive) come with it, whichever way it takes its place.
    if (ok && exists)
        SetFileAttributesW(temp.c_str(), old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
    if (ok) {
        // ReplaceFileW keeps the replaced file's attributes, security (ACL) and creation time; where it
        // cannot (a file system without that support), a move over it still replaces in one step.
        bool replaced =
            exists &&
            ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                         REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr);
        if (!replaced &&
            !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ok = false;
            code = lastErrno();
        }
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        ThrowFileError(FileAction::Write, path, code);
    }
}

int RemoveLeftoverTemporaries(std::string_view path) {
    std::wstring target = widePath(path);
    std::wstring folder = folderOf(target);
    std::wstring prefix = target.substr(folder.size()) + L".tmp";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((target + L".tmp*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int removed = 0;
    do {
        std::wstring name = found.cFileName;
        if (name.size() <= prefix.size() || _wcsnicmp(name.c_str(), prefix.c_str(), prefix.size()) != 0 ||
            name.find_first_not_of(L"0123456789", prefix.size()) != std::wstring::npos ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        // A writer that still runs holds the file unshared, so the delete fails for it.
        if (DeleteFileW((folder + name).c_str()))
            ++removed;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return removed;
}

bool ListDirectory(std::string_view folder, std::vector<DirEntry>& entries) {
    std::wstring native = widePath(folder);
    if (!native.empty() && native.back() != L'\\' && native.back() != L'/' && native.back() != L':')
        native += L'\\';
    WIN32_FIND_DATAW found;
    HANDLE search =
        FindFirstFileExW((native + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND; // an empty drive root
    do {
        if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0)
            continue;
        DirEntry entry;
        entry.name = Utf8Text(found.cFileName);
        entry.hidden = (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
        entry.isFile = (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
        entries.push_back(std::move(entry));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

std::string SearchPathVariable() {
    const wchar_t* path = _wgetenv(L"PATH");
    return path ? Utf8Text(path) : std::string();
}
