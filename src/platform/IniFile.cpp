#include "IniFile.h"

#include "Cp932.h"
#include "Errors.h"
#include "FileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdint>

namespace {

std::string_view trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

// Names match without regard to ASCII case; the text is UTF-8, so no byte of another character folds.
std::string fold(std::string_view s) {
    std::string f(s);
    for (char& c : f)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return f;
}

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Section name of a section line ("[name]" after optional blanks), or false when the line is none.
bool sectionName(std::string_view line, std::string& name) {
    std::string_view t = trim(line);
    if (t.empty() || t[0] != '[')
        return false;
    size_t close = t.find(']');
    name = std::string(trim(t.substr(1, (close == std::string_view::npos ? t.size() : close) - 1)));
    return true;
}

// Key (and value) of an entry line ("key=value"), or false when the line is none (no '=', no key, or a
// comment).
bool splitEntry(std::string_view line, std::string& key, std::string* value = nullptr) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    std::string_view k = trim(line.substr(0, eq));
    if (k.empty() || k[0] == ';')
        return false;
    key = std::string(k);
    if (value)
        *value = std::string(trim(line.substr(eq + 1)));
    return true;
}

std::string unquote(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// A value as one line: line breaks and NUL would split or cut it.
std::string oneLine(std::string_view utf8) {
    std::string v(utf8);
    for (char& c : v)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return v;
}

// True for valid UTF-8 with enough evidence that it is no CP932 text (see DetectEncoding).
bool looksLikeUtf8(std::string_view bytes) {
    size_t longest = 0;
    if (!IsValidUtf8(bytes, &longest) || longest < 2)
        return false;
    size_t longSequences = 0;
    for (unsigned char c : bytes)
        longSequences += c >= 0xE0; // in valid UTF-8, only the first byte of a 3- or 4-byte character
    if (longSequences >= 2 || !IsValidCp932(bytes))
        return true;
    std::string cp;
    return !TryUtf8ToCp932Exact(bytes, cp);
}

// Splits bytes into lines with their line ends (CR LF, CR or LF), in units of `unit` bytes (1, or 2 for
// UTF-16 of the given byte order).
template <typename OnLine>
void splitLines(std::string_view bytes, size_t unit, bool bigEndian, OnLine onLine) {
    auto unitAt = [&](size_t i) -> unsigned {
        if (unit == 1)
            return static_cast<unsigned char>(bytes[i]);
        unsigned a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    size_t start = 0, i = 0;
    while (i + unit <= bytes.size()) {
        unsigned u = unitAt(i);
        if (u != '\r' && u != '\n') {
            i += unit;
            continue;
        }
        size_t end = i + unit;
        if (u == '\r' && end + unit <= bytes.size() && unitAt(end) == '\n')
            end += unit;
        onLine(bytes.substr(start, i - start), bytes.substr(i, end - i));
        start = i = end;
    }
    if (start < bytes.size())
        onLine(bytes.substr(start), std::string_view());
}

} // namespace

IniFile::Encoding IniFile::DetectEncoding(std::string_view bytes) {
    if (startsWith(bytes, "\xFF\xFE"))
        return Encoding::Utf16LE;
    if (startsWith(bytes, "\xFE\xFF"))
        return Encoding::Utf16BE;
    if (startsWith(bytes, "\xEF\xBB\xBF"))
        return Encoding::Utf8Bom;
    return looksLikeUtf8(bytes) ? Encoding::Utf8 : Encoding::Cp932;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    sections_.emplace_back(); // the lines before the first section line
    std::string bytes;
    try {
        bytes = ReadFileBytes(path_);
    } catch (const EFileError& e) {
        if (e.code() == ENOENT || e.code() == ENOTDIR)
            return; // missing: every value takes its default
        throw;
    }
    encoding_ = DetectEncoding(bytes);
    std::string_view body(bytes);
    const bool utf16 = encoding_ == Encoding::Utf16LE || encoding_ == Encoding::Utf16BE;
    size_t bomSize = utf16 ? 2 : encoding_ == Encoding::Utf8Bom ? 3 : 0;
    bom_ = std::string(body.substr(0, bomSize));
    body.remove_prefix(bomSize);
    const bool big = encoding_ == Encoding::Utf16BE;
    if (utf16 && body.size() % 2 != 0) {
        tail_ = std::string(body.substr(body.size() - 1));
        body.remove_suffix(1);
    }
    // Unlike the reader of lists, a NUL does not end the text: what follows it is kept for the next save.
    splitLines(body, utf16 ? 2 : 1, big, [&](std::string_view raw, std::string_view eol) {
        Line line{std::string(raw), std::string(eol), {}};
        line.text = utf16                          ? Utf16ToUtf8(raw, big)
                    : encoding_ == Encoding::Cp932 ? Cp932ToUtf8(raw)
                                                   : line.raw;
        addLine(std::move(line));
    });
    indexSections();
}

void IniFile::addLine(Line line) {
    std::string name;
    if (sectionName(line.text, name)) {
        Section section;
        section.hasHeader = true;
        section.lines.push_back(std::move(line));
        sections_.push_back(std::move(section));
        return;
    }
    Section& section = sections_.back();
    if (section.hasHeader && splitEntry(line.text, name))
        section.keys.emplace(fold(name), section.lines.size());
    section.lines.push_back(std::move(line));
}

void IniFile::indexSections() {
    sectionIndex_.clear();
    std::string name;
    for (size_t i = 0; i < sections_.size(); ++i)
        if (sections_[i].hasHeader && sectionName(sections_[i].lines[0].text, name))
            sectionIndex_.emplace(fold(name), i); // the first section of a name is the one that counts
}

const IniFile::Section* IniFile::findSection(std::string_view section) const {
    auto it = sectionIndex_.find(fold(section));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

const IniFile::Line* IniFile::findEntry(std::string_view section, std::string_view key) const {
    const Section* s = findSection(section);
    if (!s)
        return nullptr;
    auto it = s->keys.find(fold(key));
    return it == s->keys.end() ? nullptr : &s->lines[it->second];
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    return unquote(ReadRawString(section, key, def));
}

std::string IniFile::ReadRawString(std::string_view section, std::string_view key,
                                   std::string_view def) const {
    const Line* line = findEntry(section, key);
    std::string name, value;
    if (!line || !splitEntry(line->text, name, &value))
        return std::string(def);
    return value;
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    std::string text = ReadString(section, key, "");
    std::string_view s(text);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    unsigned base = 10;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (!s.empty() && s[0] == '$') {
        base = 16;
        s.remove_prefix(1);
    }
    if (s.empty())
        return def;
    // Digits only, every one checked, in 64 bits that stop growing past 32: no input overflows.
    uint64_t v = 0;
    for (char c : s) {
        unsigned d = c >= '0' && c <= '9'                 ? static_cast<unsigned>(c - '0')
                     : base == 16 && c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                     : base == 16 && c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                          : base;
        if (d >= base)
            return def;
        v = v * base + d;
        if (v > 0xFFFFFFFFull)
            return def;
    }
    // Hexadecimal values wrap into 32 bits ("0xFFFFFFFF" is -1); decimal ones must fit.
    if (base == 16 && !negative)
        return static_cast<int>(static_cast<uint32_t>(v));
    if (negative)
        return v <= static_cast<uint64_t>(INT_MAX) + 1 ? static_cast<int>(-static_cast<int64_t>(v)) : def;
    return v <= static_cast<uint64_t>(INT_MAX) ? static_cast<int>(v) : def;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::SectionExists(std::string_view section) const {
    return findSection(section) != nullptr;
}

size_t IniFile::SectionCount() const {
    return sections_.size() - 1; // every section but the lines before the first
}

std::string IniFile::encode(std::string_view utf8) const {
    switch (encoding_) {
    case Encoding::Cp932: {
        std::string cp;
        return TryUtf8ToCp932Exact(utf8, cp) ? cp : Utf8ToCp932Lossy(utf8); // checked before: never lossy
    }
    case Encoding::Utf8:
    case Encoding::Utf8Bom:
        return std::string(utf8);
    case Encoding::Utf16LE:
        return Utf8ToUtf16(utf8, false);
    case Encoding::Utf16BE:
        return Utf8ToUtf16(utf8, true);
    }
    return std::string(utf8);
}

std::string IniFile::lineEnd() const {
    if (encoding_ == Encoding::Utf16LE)
        return std::string("\r\0\n\0", 4);
    if (encoding_ == Encoding::Utf16BE)
        return std::string("\0\r\0\n", 4);
    return "\r\n";
}

void IniFile::convertToUtf16() {
    auto widen = [](const std::string& ascii) {
        std::string wide;
        for (char c : ascii) {
            wide += c;
            wide += '\0';
        }
        return wide;
    };
    for (Section& section : sections_)
        for (Line& line : section.lines) {
            line.raw = Cp932ToUtf16(line.raw, false);
            line.eol = widen(line.eol); // CR and LF
        }
    encoding_ = Encoding::Utf16LE;
    bom_ = "\xFF\xFE";
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string v = oneLine(value);
    // What the reader would strip (blanks at either end, one enclosing pair of quotes) is kept inside a
    // pair of quotes that the reader strips instead.
    bool blankEnd =
        !v.empty() && (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t');
    if (blankEnd || v != unquote(v))
        v = "\"" + v + "\"";
    WriteRawString(section, key, v);
}

void IniFile::WriteRawString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string v = oneLine(value), s = oneLine(section), k = oneLine(key);
    auto found = sectionIndex_.find(fold(s));
    Section* target = found == sectionIndex_.end() ? nullptr : &sections_[found->second];
    if (target) {
        auto it = target->keys.find(fold(k));
        std::string name, current;
        if (it != target->keys.end() && splitEntry(target->lines[it->second].text, name, &current) &&
            current == v)
            return; // the very value: the line keeps its bytes
    }
    if (encoding_ == Encoding::Cp932) {
        std::string cp;
        if (!TryUtf8ToCp932Exact(v, cp) || !TryUtf8ToCp932Exact(k, cp) || !TryUtf8ToCp932Exact(s, cp))
            convertToUtf16(); // CP932 would change the text: the whole file becomes UTF-16
    }
    std::string entryText = k + "=" + v, parsedKey;
    Line entry{encode(entryText), lineEnd(), entryText};
    bool isEntry = splitEntry(entryText, parsedKey);
    if (!target) {
        Section added;
        added.hasHeader = true;
        std::string header = "[" + s + "]";
        added.lines.push_back(Line{encode(header), lineEnd(), header});
        if (isEntry)
            added.keys.emplace(fold(parsedKey), 1);
        added.lines.push_back(std::move(entry));
        sections_.push_back(std::move(added));
        std::string name;
        if (sectionName(sections_.back().lines[0].text, name))
            sectionIndex_.emplace(fold(name), sections_.size() - 1);
        return;
    }
    auto it = target->keys.find(fold(k));
    if (it != target->keys.end()) {
        target->lines[it->second] = std::move(entry);
        return;
    }
    // Append after the section's last non-blank line, before the blank lines that separate it from the next.
    size_t insertAt = 1;
    for (size_t i = target->lines.size(); i > 1; --i)
        if (!trim(target->lines[i - 1].text).empty()) {
            insertAt = i;
            break;
        }
    target->lines.insert(target->lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
    for (auto& [name, index] : target->keys)
        if (index >= insertAt)
            ++index;
    if (isEntry)
        target->keys.emplace(fold(parsedKey), insertAt);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void IniFile::EraseSection(std::string_view section) {
    auto it = sectionIndex_.find(fold(section));
    if (it == sectionIndex_.end())
        return;
    sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(it->second));
    indexSections();
}

std::string IniFile::compose() const {
    size_t lines = 0, size = bom_.size() + tail_.size();
    for (const Section& section : sections_)
        for (const Line& line : section.lines) {
            ++lines;
            size += line.raw.size() + 4;
        }
    std::string out;
    out.reserve(size);
    out += bom_;
    const std::string crlf = lineEnd();
    size_t n = 0;
    for (const Section& section : sections_)
        for (const Line& line : section.lines) {
            out += line.raw;
            // A last line without a line end gets one when lines were added after it.
            ++n;
            out += line.eol.empty() && n < lines ? crlf : line.eol;
        }
    out += tail_;
    return out;
}

void IniFile::UpdateFile() {
    std::string bytes = compose();
    // Never a file that the reader would take for another encoding than the one it is written in.
    if (encoding_ == Encoding::Cp932 && DetectEncoding(bytes) != Encoding::Cp932) {
        convertToUtf16();
        bytes = compose();
    } else if (encoding_ == Encoding::Utf8 && !isAscii(bytes) && DetectEncoding(bytes) != Encoding::Utf8) {
        encoding_ = Encoding::Utf8Bom;
        bom_ = "\xEF\xBB\xBF";
        bytes = compose();
    }
    WriteFileAtomic(path_, bytes);
}
