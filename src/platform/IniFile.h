#pragma once

#include <string>
#include <string_view>
#include <vector>

/// A settings (INI) file with the platform's profile semantics: sections and keys match without regard to
/// case, a missing key gives the caller's default, writing replaces a value where it stands or appends it
/// to its section (a missing section is appended), and everything not written stays as it was, byte for
/// byte (NUL bytes and bytes that are no valid text included). The interface is UTF-8. The whole file is
/// held in memory; UpdateFile writes it back atomically, in the encoding it was read in.
class IniFile {
public:
    /// How the file is stored. CP932 is the platform's own; UTF-16 (with byte-order mark) is what
    /// Windows' editors save as "Unicode" and its profile functions read natively.
    enum class Encoding { Cp932, Utf8, Utf8Bom, Utf16LE, Utf16BE };

    /// Loads the file; a missing or unreadable file (or a folder) reads as empty and is CP932. A file with
    /// a UTF-16 or UTF-8 byte-order mark is read as such. Without one the file is CP932, unless it is
    /// valid UTF-8 holding a three- or four-byte sequence, which CP932 text practically never forms (a
    /// CP932 file of half-width katakana alone is also valid UTF-8, but only of two-byte sequences).
    explicit IniFile(std::string path);

    const std::string& FileName() const { return path_; }
    Encoding FileEncoding() const { return encoding_; }

    /// The value with surrounding blanks and one enclosing pair of quotes removed, as the platform reads it.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    /// The value with surrounding blanks removed but quotes kept (for comma text).
    std::string ReadRawString(std::string_view section, std::string_view key, std::string_view def) const;
    /// Decimal, or hexadecimal after "0x"; text that is not a 32-bit integer gives `def`.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    /// An integer; non-zero is true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    bool SectionExists(std::string_view section) const;

    /// Sets a value in memory; line breaks and NUL become blanks. A CP932 file that is given a value with
    /// a character CP932 cannot hold is turned into UTF-16 LE as a whole, so that no value is changed.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value); ///< "1" or "0"

    /// Removes a section with all its lines (nothing when there is none).
    void EraseSection(std::string_view section);

    /// Writes the whole file (CR LF, in its encoding) through a temporary file, keeping the file's mode
    /// and owner and writing through a symbolic link (WriteFileAtomic). Throws EFileError; the file on
    /// disk is then unchanged.
    void UpdateFile() const;

private:
    // Index of the section header line, or npos.
    size_t findSection(const std::string& cpSection) const;
    // Index of the key's line within the section starting at `sectionLine`, or npos.
    size_t findKey(size_t sectionLine, const std::string& cpKey) const;
    bool lookup(std::string_view section, std::string_view key, std::string& rawValue) const;
    // Text of the program (UTF-8) as held in `lines_`, and back.
    std::string toLines(std::string_view utf8) const;
    std::string fromLines(std::string_view raw) const;

    std::string path_;
    Encoding encoding_ = Encoding::Cp932;
    // Without line ends: the file's CP932 bytes for a CP932 file, UTF-8 for every other encoding.
    std::vector<std::string> lines_;
};
