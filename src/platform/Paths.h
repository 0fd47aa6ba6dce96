#pragma once

#include <string>
#include <string_view>

// Path helpers. Paths inside a ghost use '\'; local absolute paths are native. On POSIX both '\' and '/'
// separate folders (a literal '\' in a file name is not supported there).

#ifdef _WIN32
inline constexpr char NativeDelimiter = '\\';
inline constexpr char PathListSeparator = ';'; ///< between the folders of PATH
#else
inline constexpr char NativeDelimiter = '/';
inline constexpr char PathListSeparator = ':'; ///< between the folders of PATH
#endif

/// True for a character that separates folders in a local path.
bool IsPathDelimiter(char c);

/// Everything up to and including the last folder separator (or ':' on Windows); empty when there is none.
std::string ExtractFilePath(std::string_view path);

/// The part after the last folder separator.
std::string ExtractFileName(std::string_view path);

/// Replaces the extension of the last path component (from its last '.') by `ext`, or appends `ext`.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

/// True when two paths name the same file as the platform compares names: exactly on POSIX, without regard
/// to ASCII case on Windows.
bool SameFileName(std::string_view a, std::string_view b);

/// `path` with the native separator appended when it does not end with a separator already.
std::string IncludeTrailingPathDelimiter(std::string_view path);

/// The path as the operating system wants it (on POSIX every '\' becomes '/').
std::string NativePath(std::string_view path);

/// `text` without the first occurrence of `part` (case-sensitive); unchanged when `part` is empty or absent.
std::string RemoveFirst(std::string_view text, std::string_view part);

/// Replaces every occurrence of `from` by `to` (for the '\' and '/' forms of relative ghost paths).
std::string ReplaceChar(std::string_view text, char from, char to);

/// True for a path that does not start from the current folder: one that starts with a separator (or, on
/// Windows, a drive such as "C:").
bool IsAbsolutePath(std::string_view path);

/// The path made absolute against the current folder (unchanged when it is absolute already or empty).
std::string ExpandFileName(std::string_view path);

/// Full path of the running executable.
std::string ExecutablePath();
