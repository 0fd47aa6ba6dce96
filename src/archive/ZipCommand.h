#pragma once

#include <stdexcept>
#include <string>
#include <vector>

/// A failure of the built-in zip writer: the result code of the command entry and the message that goes
/// into the caller's output buffer.
class ZipFailure : public std::runtime_error {
public:
    ZipFailure(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
    int Code;
};

/// The create command of the ZIP creator library's language, taken apart. Member names are CP932 bytes;
/// the archive and base folder too, unless `NativeFolders`.
struct ZipCommand {
    int Level = 6;           ///< -0 to -9; 0 stores every member
    bool JunkPaths = false;  ///< -j: members go in under their last name component
    bool Verbose = false;    ///< -v: the output buffer lists every member added
    bool LatestTime = false; ///< -o: the archive gets the time of its newest member
    bool Update = false;     ///< -u: add to an existing archive (only an absent one can be "updated" here)
    std::string Archive;
    std::string BaseFolder;           ///< with its trailing separator; empty when none was given
    std::vector<std::string> Members; ///< as they go into the archive: unescaped, '/' between folders
    /// The archive, the base folder and response files are native paths (the command came as UTF-8), so a
    /// folder whose name CP932 lacks can still hold the ghost: only member names need a CP932 form.
    bool NativeFolders = false;
};

/// Parses a create command line: switches (-0..-9 -D -X -S -q -j -v -o -u -J), then quoted texts: the
/// archive, the base folder (recognised by its trailing separator), then member names in the name escape of
/// the command language ("[-]" or "[@]" for a leading "-" or "@", "[[]" for "["), where a quoted text
/// that starts with "@" names a response file of quoted names, one a line. Switches this writer cannot
/// honour (-r, -k, -FF and every other) are refused. A UTF-8 line (`utf8`) gives native folders and member
/// names converted to CP932, a name without a CP932 form being refused. Throws ZipFailure.
ZipCommand ParseZipCommand(const std::string& line, bool utf8 = false);

/// The member name a text of the command stands for: the escape undone, '\' between folders made '/'.
/// A CP932 name keeps a second byte that looks like '\' or '[' as it is; a UTF-8 one has no such bytes.
std::string UnescapeZipName(const std::string& name, bool utf8 = false);

/// The reason for a file system error code, in Japanese, for the messages of the pack and the log.
std::string FileErrorText(int code);
