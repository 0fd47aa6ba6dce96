#pragma once

#include "File.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// File operations on local paths (UTF-8, converted with NativePath). Failures that callers must report
// throw EFileError; probes return a flag.

/// The runtime's text for a system error number: "File not found", "File access denied", ... or
/// "I/O error %d" for the rarer numbers.
std::string SystemErrorText(int code);

/// A system error number as plain Japanese for the user's messages, without a final "。": the reason
/// part of "…に書き込めません（ディスクの空き容量が足りません）".
std::string SystemErrorReasonJa(int code);

/// What a file operation was doing when it failed, for its message.
enum class FileAction { Open, Read, Create, Write };
/// Throws EFileError "<path> を開けません（<reason>）。" (読み込めません, 作成できません, 書き込めません)
/// with the reason from SystemErrorReasonJa.
[[noreturn]] void ThrowFileError(FileAction action, std::string_view path, int code);

bool FileExists(std::string_view path);      ///< an existing regular file (or a link to one)
bool DirectoryExists(std::string_view path); ///< an existing folder
bool PathExists(std::string_view path);      ///< anything under that name

/// Size in bytes, or -1 when it cannot be determined.
int64_t FileSize(std::string_view path);

/// What the file system says of a path (a link followed); false when nothing is found under that name.
bool GetFileInfo(std::string_view path, FileInfo& info);

/// Moves `from` to `to`; never replaces an existing `to`. Within one file system this is one step where
/// the system offers it (Linux renameat2 with RENAME_NOREPLACE; on Windows MoveFileEx without
/// MOVEFILE_REPLACE_EXISTING), so that a kill leaves the file under exactly one of its names; elsewhere it
/// is a hard link followed by the removal of the old name (a kill between them leaves both names, with the
/// same bytes). A file moves to another file system too (copied, then deleted). Throws EFileError with
/// SystemErrorText.
void RenameFile(std::string_view from, std::string_view to);

/// Copies the bytes of the file `from` to `to`, replacing a file there; false when it could not (then
/// `to` is not left half-written when it was created by the copy).
bool CopyFileTo(std::string_view from, std::string_view to);

/// Deletes a file; returns false when it could not be deleted (a missing file included).
bool RemoveFile(std::string_view path);

/// Creates one folder level; returns false on failure (an existing folder included).
bool CreateDir(std::string_view path);

/// The whole content of a file. Throws EFileError naming the file.
std::string ReadFileBytes(std::string_view path);

/// Creates or replaces a file with exactly these bytes. Throws EFileError naming the file.
void WriteFileBytes(std::string_view path, std::string_view bytes);

/// Appends the bytes to an existing file; false when it is not there or did not take all of them.
bool AppendFileBytes(std::string_view path, std::string_view bytes);

/// Writes the bytes to a temporary file beside the file `path` names, flushes it and renames it over that
/// file, so that a failure never leaves a half-written file. A symbolic link is written through to its
/// target; a replaced file keeps its mode and owner; a new file is readable by its owner only. A
/// read-only or immutable file (or a folder) is not replaced. Throws EFileError naming the file; the file
/// is then untouched. The temporary file ("<name>.tmp<process id>") is readable by its owner only until
/// it takes the file's mode just before the rename, and is locked while it is written (an advisory lock
/// on POSIX; on Windows an open file cannot be deleted), so that RemoveLeftoverTemporaries can tell a
/// live one from one that a killed program left behind.
void WriteFileAtomic(std::string_view path, std::string_view bytes);

/// Removes the temporary files that WriteFileAtomic of `path` left behind when the program was killed
/// before its rename ("<name>.tmp<digits>" beside the file the path finally names), leaving alone any that
/// a running writer still holds. Returns how many were removed; never throws.
int RemoveLeftoverTemporaries(std::string_view path);

struct DirEntry {
    std::string name;
    bool isFile = false; ///< an ordinary (regular) file; folders, devices, sockets and pipes are not
    bool hidden = false; ///< hidden by the platform's convention (a leading '.' on POSIX)
};

/// The first file of that name in a folder of the platform's search path (PATH), or empty when none is
/// found; a path longer than 512 characters counts as not found.
std::string FindOnSearchPath(std::string_view file);

/// The platform's search path (PATH) as UTF-8 text, its folders separated by PathListSeparator.
std::string SearchPathVariable();

/// The entries of a folder (without "." and ".."); false when it does not exist or cannot be read.
bool ListDirectory(std::string_view folder, std::vector<DirEntry>& entries);
