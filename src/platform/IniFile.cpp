#include "IniFile.h"

#include "Cp932.h"
#include "FileSystem.h"
#include "TextLines.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

constexpr size_t npos = std::string::npos;

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return std::string(s.substr(b, e - b));
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive comparison of CP932 texts: ASCII letters fold, double-byte characters compare exactly
// (their second byte may look like a letter).
bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (IsCp932LeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// True for valid UTF-8 that holds at least one three- or four-byte sequence.
bool looksLikeUtf8(std::string_view s) {
    size_t longest = 0;
    return IsValidUtf8(s, &longest) && longest > 2;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Section name of a header line ("[name]" after optional blanks), or false when the line is none.
bool sectionName(const std::string& line, std::string& name) {
    std::string t = trim(line);
    if (t.empty() || t[0] != '[')
        return false;
    size_t close = t.find(']');
    name = trim(std::string_view(t).substr(1, (close == npos ? t.size() : close) - 1));
    return true;
}

// Key and raw value of an entry line ("key=value"), or false when the line has no '='.
bool splitEntry(const std::string& line, std::string& key, std::string& value) {
    size_t eq = line.find('=');
    if (eq == npos)
        return false;
    key = trim(std::string_view(line).substr(0, eq));
    value = trim(std::string_view(line).substr(eq + 1));
    return !key.empty() && key[0] != ';';
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

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    std::string bytes;
    try {
        bytes = ReadFileBytes(path_);
    } catch (const std::exception&) {
        return; // missing or unreadable: every value takes its default
    }
    std::string text;
    if (startsWith(bytes, "\xFF\xFE")) {
        encoding_ = Encoding::Utf16LE;
        text = Utf16ToUtf8(std::string_view(bytes).substr(2), false);
    } else if (startsWith(bytes, "\xFE\xFF")) {
        encoding_ = Encoding::Utf16BE;
        text = Utf16ToUtf8(std::string_view(bytes).substr(2), true);
    } else if (startsWith(bytes, "\xEF\xBB\xBF")) {
        encoding_ = Encoding::Utf8Bom;
        text = bytes.substr(3);
    } else {
        encoding_ = looksLikeUtf8(bytes) ? Encoding::Utf8 : Encoding::Cp932;
        text = std::move(bytes);
    }
    // Unlike the reader of lists, a NUL does not end the text: what follows it is kept for the next save.
    lines_ = SplitLines(text, false);
}

std::string IniFile::toLines(std::string_view utf8) const {
    if (encoding_ != Encoding::Cp932)
        return std::string(utf8);
    std::string cp;
    return TryUtf8ToCp932(utf8, cp) ? cp : Utf8ToCp932Lossy(utf8);
}

std::string IniFile::fromLines(std::string_view raw) const {
    return encoding_ == Encoding::Cp932 ? Cp932ToUtf8(raw) : std::string(raw);
}

size_t IniFile::findSection(const std::string& cpSection) const {
    std::string name;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (sectionName(lines_[i], name) && sameText(name, cpSection))
            return i;
    return npos;
}

size_t IniFile::findKey(size_t sectionLine, const std::string& cpKey) const {
    std::string name, key, value;
    for (size_t i = sectionLine + 1; i < lines_.size(); ++i) {
        if (sectionName(lines_[i], name))
            break;
        if (splitEntry(lines_[i], key, value) && sameText(key, cpKey))
            return i;
    }
    return npos;
}

bool IniFile::lookup(std::string_view section, std::string_view key, std::string& rawValue) const {
    size_t s = findSection(toLines(section));
    if (s == npos)
        return false;
    size_t k = findKey(s, toLines(key));
    if (k == npos)
        return false;
    std::string name;
    splitEntry(lines_[k], name, rawValue);
    return true;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    std::string raw;
    if (!lookup(section, key, raw))
        return std::string(def);
    return fromLines(unquote(raw));
}

std::string IniFile::ReadRawString(std::string_view section, std::string_view key,
                                   std::string_view def) const {
    std::string raw;
    if (!lookup(section, key, raw))
        return std::string(def);
    return fromLines(raw);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    std::string text = ReadString(section, key, "");
    if (text.empty())
        return def;
    int base = 10;
    const char* start = text.c_str();
    bool negative = false;
    if (*start == '+' || *start == '-') {
        negative = *start == '-';
        ++start;
    }
    if (start[0] == '0' && (start[1] == 'x' || start[1] == 'X')) {
        base = 16;
        start += 2;
    } else if (start[0] == '$') {
        base = 16;
        ++start;
    }
    if (*start == '\0' || *start == '+' || *start == '-' || *start == ' ')
        return def;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(start, &end, base);
    if (errno != 0 || *end != '\0')
        return def;
    if (negative)
        v = -v;
    // Hexadecimal values wrap into 32 bits ("0xFFFFFFFF" is -1); decimal ones must fit.
    if (base == 16 && !negative && v >= 0 && v <= 0xFFFFFFFFLL)
        return static_cast<int>(static_cast<unsigned int>(v));
    if (v < INT_MIN || v > INT_MAX)
        return def;
    return static_cast<int>(v);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::SectionExists(std::string_view section) const {
    return findSection(toLines(section)) != npos;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string utf8Value = oneLine(value), cpValue;
    if (encoding_ == Encoding::Cp932 && !TryUtf8ToCp932(utf8Value, cpValue)) {
        // CP932 cannot hold this value: rather than change it, the whole file becomes UTF-16.
        for (std::string& line : lines_)
            line = Cp932ToUtf8(line);
        encoding_ = Encoding::Utf16LE;
    }
    std::string cpSection = toLines(oneLine(section)), cpKey = toLines(oneLine(key));
    std::string entry = cpKey + "=" + toLines(utf8Value);
    size_t s = findSection(cpSection);
    if (s == npos) {
        lines_.push_back("[" + cpSection + "]");
        lines_.push_back(entry);
        return;
    }
    size_t k = findKey(s, cpKey);
    if (k != npos) {
        lines_[k] = entry;
        return;
    }
    // Append after the section's last non-blank line, before the blank lines that separate it from the next.
    size_t insertAt = s + 1;
    std::string name;
    for (size_t i = s + 1; i < lines_.size() && !sectionName(lines_[i], name); ++i)
        if (!trim(lines_[i]).empty())
            insertAt = i + 1;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void IniFile::EraseSection(std::string_view section) {
    size_t s = findSection(toLines(section));
    if (s == npos)
        return;
    size_t e = s + 1;
    std::string name;
    while (e < lines_.size() && !sectionName(lines_[e], name))
        ++e;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(s),
                 lines_.begin() + static_cast<std::ptrdiff_t>(e));
}

void IniFile::UpdateFile() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    switch (encoding_) {
    case Encoding::Cp932:
    case Encoding::Utf8:
        break;
    case Encoding::Utf8Bom:
        text.insert(0, "\xEF\xBB\xBF");
        break;
    case Encoding::Utf16LE:
        text = "\xFF\xFE" + Utf8ToUtf16(text, false);
        break;
    case Encoding::Utf16BE:
        text = "\xFE\xFF" + Utf8ToUtf16(text, true);
        break;
    }
    WriteFileAtomic(path_, text);
}
