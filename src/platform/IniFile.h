#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// A settings (INI) file with the platform's profile semantics: sections and keys match without regard to
/// case, a missing key gives the caller's default, writing replaces a value where it stands or appends it
/// to its section (a missing section is appended), and everything not written stays as it was, byte for
/// byte (line ends, NUL bytes, bytes that are no valid text, lone surrogates of a UTF-16 file included).
/// The interface is UTF-8; every value written comes back as it was written. The whole file is held in
/// memory, indexed, so that reading or writing one key costs the same in a file of any size; UpdateFile
/// writes it back atomically.
class IniFile {
public:
    /// How the file is stored. CP932 is the platform's own; UTF-16 (with byte-order mark) is what
    /// Windows' editors save as "Unicode" and its profile functions read natively.
    enum class Encoding { Cp932, Utf8, Utf8Bom, Utf16LE, Utf16BE };

    /// Loads the file. A missing file (or one in a missing folder) reads as empty and is CP932; a file
    /// that exists but cannot be read (no permission, a folder of that name, a read error) throws
    /// EFileError with the system error number, so that nobody takes it for empty and overwrites it.
    explicit IniFile(std::string path);

    /// The encoding the reader gives these bytes. A byte-order mark (UTF-16 LE or BE, UTF-8) decides.
    /// Without one the bytes are CP932 unless they are valid UTF-8 holding a multi-byte character and
    /// there is more evidence than one sequence that CP932 text can also form: two characters of three or
    /// four bytes, bytes that are not valid CP932, or a character that CP932 cannot hold exactly (see
    /// TryUtf8ToCp932Exact). So "縺院" (e3 81 89 40) stays CP932, "能力" in UTF-8 is UTF-8, and a lone
    /// "能" in UTF-8 without a byte-order mark is taken for the CP932 text it also is.
    static Encoding DetectEncoding(std::string_view bytes);

    const std::string& FileName() const { return path_; }
    Encoding FileEncoding() const { return encoding_; }

    /// The value with surrounding blanks and one enclosing pair of quotes removed, as the platform reads it.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    /// The value with surrounding blanks removed but quotes kept (for comma text).
    std::string ReadRawString(std::string_view section, std::string_view key, std::string_view def) const;
    /// Decimal, or hexadecimal after "0x" (or "$"), with an optional sign in front: "-5", "+0x1F". Text
    /// that is anything else (blanks or other characters after the sign or between digits included) or
    /// that does not fit 32 bits gives `def`; hexadecimal values up to 0xFFFFFFFF wrap ("0xFFFFFFFF" is -1).
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    /// An integer; non-zero is true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    bool SectionExists(std::string_view section) const;
    /// The number of section lines in the file (for bounding counts read from it).
    size_t SectionCount() const;

    /// Sets a value in memory so that ReadString gives it back; line breaks and NUL become blanks. A value
    /// with blanks at either end or enclosed in a pair of quotes, which the reader would strip, is written
    /// inside a further pair of double quotes (that the platform's reader strips as well). A key that
    /// already holds this very value is left as it stands (with its bytes). A written line ends with CR LF.
    /// A CP932 file that is given a value whose CP932 form would not read back as the same text (a
    /// character CP932 lacks, or one of the seven whose form decodes as another, such as 〜) is turned into
    /// UTF-16 LE as a whole; bytes of its lines that were no valid CP932 become lone surrogates U+DC80 to
    /// U+DCFF (see Cp932ToUtf16).
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    /// As WriteString, but the value is written as it is, for text whose quotes are its own (comma text):
    /// ReadRawString gives it back when it has no blanks at either end.
    void WriteRawString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value); ///< "1" or "0"

    /// Removes a section with all its lines (nothing when there is none).
    void EraseSection(std::string_view section);

    /// Writes the whole file in its encoding through a temporary file, keeping the file's mode and owner
    /// and writing through a symbolic link (WriteFileAtomic). A file whose bytes the reader would take for
    /// another encoding is written so that it cannot be: a CP932 file as UTF-16 LE, a UTF-8 file with a
    /// byte-order mark. Throws EFileError; the file on disk is then unchanged.
    void UpdateFile();

private:
    struct Line {
        std::string raw;  // the line's bytes in the file's encoding, without its line end
        std::string eol;  // its line end as it was, in the file's encoding; empty for a last line without one
        std::string text; // the line as UTF-8 (what is no valid text as U+FFFD, except in a UTF-8 file)
    };
    struct Section {
        bool hasHeader = false;  // false only for the lines before the first section line
        std::vector<Line> lines; // the section line first when there is one
        std::unordered_map<std::string, size_t> keys; // folded key -> first line with it
    };

    void addLine(Line line);
    void indexSections();
    const Section* findSection(std::string_view section) const;
    // The entry line of a key, or nullptr.
    const Line* findEntry(std::string_view section, std::string_view key) const;
    // The line's bytes and line end for UTF-8 text in the file's encoding.
    std::string encode(std::string_view utf8) const;
    std::string lineEnd() const;
    void convertToUtf16();
    std::string compose() const;

    std::string path_;
    Encoding encoding_ = Encoding::Cp932;
    std::string bom_;  // the byte-order mark as read (or added)
    std::string tail_; // an odd last byte of a UTF-16 file, kept at the end
    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> sectionIndex_; // folded name -> first section with it
};
