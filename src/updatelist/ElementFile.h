#pragma once

#include <string>

/// One entry of the update list: one distributed file, one line of updates2.dau.
class TElementFile {
public:
    std::string FileName; ///< relative path with '/' (UTF-8), the name shown in the log
    /// The name's identity: the CP932 bytes of `FileName`, exactly what updates2.dau holds and what goes
    /// on the wire and into an archive. Empty for a file whose name has no CP932 form.
    std::string FileNameCp932;
    std::string Digest;       ///< 32 lower-case hex digits, or empty for an unreadable file
    std::string FullPath;     ///< absolute local path (entries from files only)
    std::string RelativePath; ///< relative path with '\' (entries from files only)
    std::string BaseFolder;   ///< the base folder, ending with a separator

    /// Fills the entry from a local file: digest (reads the whole file), relative path (the first
    /// occurrence of `BaseFolder` removed) and name.
    void SetFile(const std::string& fullPath);
    /// As SetFile, with the file's digest already computed (empty for an unreadable file).
    void SetFile(const std::string& fullPath, std::string digest);
    /// The line of updates2.dau, CP932 bytes: `FileNameCp932` 0x01 `Digest` 0x01, without line end.
    std::string GetLine() const;
    /// Parses a line of updates2.dau (CP932 bytes): the pieces between 0x01 bytes give name and digest,
    /// further pieces are ignored. Throws EQuillon when the line yields fewer than two pieces.
    void SetLine(const std::string& line);
};
