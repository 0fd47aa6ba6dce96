#pragma once

#include <string>
#include <string_view>
#include <vector>

/// A settings (INI) file with the platform's profile semantics: sections and keys match without regard to
/// case, a missing key gives the caller's default, writing replaces a value where it stands or appends it
/// to its section (a missing section is appended), and everything not written stays as it was, byte for
/// byte. The file is CP932 with CR LF on disk; the interface is UTF-8. The whole file is held in memory;
/// UpdateFile writes it back atomically.
class IniFile {
public:
    /// Loads the file; a missing or unreadable file (or a folder) reads as empty. A file in UTF-8 (with a
    /// byte-order mark, or valid UTF-8 with non-ASCII text) is taken as such and written back as CP932.
    explicit IniFile(std::string path);

    const std::string& FileName() const { return path_; }

    /// The value with surrounding blanks and one enclosing pair of quotes removed, as the platform reads it.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    /// The value with surrounding blanks removed but quotes kept (for comma text).
    std::string ReadRawString(std::string_view section, std::string_view key, std::string_view def) const;
    /// Decimal, or hexadecimal after "0x"; text that is not a 32-bit integer gives `def`.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    /// An integer; non-zero is true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    bool SectionExists(std::string_view section) const;

    /// Sets a value in memory. Characters without a CP932 form are written as '?', line breaks as blanks.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value); ///< "1" or "0"

    /// Writes the whole file (CP932, CR LF) through a temporary file. Throws EFileError; the file on disk
    /// is then unchanged.
    void UpdateFile() const;

private:
    // Index of the section header line, or npos.
    size_t findSection(const std::string& cpSection) const;
    // Index of the key's line within the section starting at `sectionLine`, or npos.
    size_t findKey(size_t sectionLine, const std::string& cpKey) const;
    bool lookup(std::string_view section, std::string_view key, std::string& rawValue) const;

    std::string path_;
    std::vector<std::string> lines_; // CP932 bytes as in the file, without line ends
};
