#include "Cp932.h"

#include "Errors.h"

#include "Cp932Converter.h"

#include <algorithm>

namespace {

Converter& toUtf8() {
    thread_local Converter c(Charset::Utf8, Charset::Cp932);
    return c;
}

Converter& toCp932() {
    thread_local Converter c(Charset::Cp932, Charset::Utf8);
    return c;
}

// Converts with U+FFFD for whatever the converter refuses, skipping `unit` input bytes at a time.
std::string convertLeniently(Converter& converter, std::string_view in, size_t unit,
                             std::string_view replacement) {
    std::string out;
    size_t pos = 0;
    while (!converter.convert(in, out, pos)) {
        out += replacement;
        pos = std::min(in.size(), pos + unit);
    }
    return out;
}

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Length of the valid UTF-8 sequence starting at s[pos], or 1 when the bytes there are not one (a stray
// continuation byte, a bad lead byte, a cut-off sequence), so that exactly that byte is replaced.
size_t utf8Length(std::string_view s, size_t pos) {
    unsigned char c = static_cast<unsigned char>(s[pos]);
    size_t n = c < 0x80                 ? 1
               : c >= 0xC2 && c <= 0xDF ? 2
               : c >= 0xE0 && c <= 0xEF ? 3
               : c >= 0xF0 && c <= 0xF4 ? 4
                                        : 0;
    if (n == 0 || pos + n > s.size())
        return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[pos + k]) & 0xC0) != 0x80)
            return 1;
    return n;
}

size_t asciiBytes(std::string_view utf8) {
    size_t n = 0;
    for (unsigned char c : utf8)
        n += c < 0x80;
    return n;
}

// Single-byte ASCII characters of CP932 text (second bytes of double-byte characters do not count).
size_t asciiCharacters(std::string_view cp932) {
    size_t n = 0;
    for (size_t i = 0; i < cp932.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(cp932[i]);
        if (IsCp932LeadByte(c))
            ++i;
        else
            n += c < 0x80;
    }
    return n;
}

// Characters of UTF-8 text (valid text assumed: every byte that is not a continuation byte starts one).
size_t utf8Characters(std::string_view utf8) {
    size_t n = 0;
    for (unsigned char c : utf8)
        n += (c & 0xC0) != 0x80;
    return n;
}

// Characters of CP932 text: a lead byte with its second byte counts once.
size_t cp932Characters(std::string_view cp932) {
    size_t n = 0;
    for (size_t i = 0; i < cp932.size(); ++i, ++n)
        if (IsCp932LeadByte(static_cast<unsigned char>(cp932[i])))
            ++i;
    return n;
}

Converter& cp932ToUtf16(bool bigEndian) {
    thread_local Converter le(Charset::Utf16LE, Charset::Cp932), be(Charset::Utf16BE, Charset::Cp932);
    return bigEndian ? be : le;
}

} // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    if (isAscii(cp932))
        return std::string(cp932);
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    size_t pos = 0;
    while (!toUtf8().convert(cp932, out, pos)) {
        out += "\xEF\xBF\xBD";
        ++pos;
    }
    return out;
}

bool TryUtf8ToCp932(std::string_view utf8, std::string& out) {
    out.clear();
    if (isAscii(utf8)) {
        out.assign(utf8);
        return true;
    }
    size_t pos = 0;
    if (!toCp932().convert(utf8, out, pos))
        return false;
    // A non-ASCII character that became an ASCII byte (U+00A5 to '\\', the path separator) would name
    // another file: such a name has no CP932 form of its own. One that became nothing at all (the
    // converter drops the tag characters U+E0000 to U+E007F) has none either.
    return asciiCharacters(out) == asciiBytes(utf8) && cp932Characters(out) == utf8Characters(utf8);
}

bool TryUtf8ToCp932Exact(std::string_view utf8, std::string& out) {
    return TryUtf8ToCp932(utf8, out) && (isAscii(out) || Cp932ToUtf8(out) == utf8);
}

bool IsValidCp932(std::string_view cp932) {
    if (isAscii(cp932))
        return true;
    std::string out;
    size_t pos = 0;
    return toUtf8().convert(cp932, out, pos);
}

std::string Cp932ToUtf16(std::string_view cp932, bool bigEndian) {
    std::string out;
    out.reserve(cp932.size() * 2);
    size_t pos = 0;
    while (!cp932ToUtf16(bigEndian).convert(cp932, out, pos)) {
        // Only bytes from 0x80 up can fail: ASCII always decodes.
        unsigned char escaped = static_cast<unsigned char>(cp932[pos]);
        char high = static_cast<char>(0xDC), low = static_cast<char>(escaped);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
        ++pos;
    }
    return out;
}

std::string Utf8ToCp932(std::string_view utf8) {
    std::string out;
    if (!TryUtf8ToCp932(utf8, out))
        throw EEncodingError("\"" + std::string(utf8) +
                             "\" contains a character that Shift_JIS (CP932) cannot hold");
    return out;
}

std::string Utf8ToCp932Lossy(std::string_view utf8) {
    if (isAscii(utf8))
        return std::string(utf8);
    // The converter drops tag characters (U+E0000 to U+E007F, F3 A0 80 80 to F3 A0 81 BF) without a word:
    // they become '?' like every other character without a form.
    std::string marked;
    if (utf8.find("\xF3\xA0") != std::string_view::npos) {
        for (size_t i = 0; i < utf8.size(); ++i) {
            unsigned char c2 = i + 2 < utf8.size() ? static_cast<unsigned char>(utf8[i + 2]) : 0;
            if (utf8.substr(i, 2) == "\xF3\xA0" && (c2 == 0x80 || c2 == 0x81) && utf8Length(utf8, i) == 4) {
                marked += '?';
                i += 3;
            } else {
                marked += utf8[i];
            }
        }
        utf8 = marked;
    }
    std::string out;
    size_t pos = 0;
    while (!toCp932().convert(utf8, out, pos)) {
        out += '?';
        pos += utf8Length(utf8, pos);
    }
    return out;
}

bool IsCp932Representable(std::string_view utf8) {
    std::string out;
    return TryUtf8ToCp932(utf8, out);
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    thread_local Converter le(Charset::Utf8, Charset::Utf16LE), be(Charset::Utf8, Charset::Utf16BE);
    return convertLeniently(bigEndian ? be : le, bytes, 2, "\xEF\xBF\xBD");
}

std::string Utf8ToUtf16(std::string_view utf8, bool bigEndian) {
    thread_local Converter le(Charset::Utf16LE, Charset::Utf8), be(Charset::Utf16BE, Charset::Utf8);
    return convertLeniently(bigEndian ? be : le, utf8, 1,
                            bigEndian ? std::string_view("\xFF\xFD", 2) : std::string_view("\xFD\xFF", 2));
}

bool IsValidUtf8(std::string_view text, size_t* longest) {
    size_t widest = text.empty() ? 0 : 1;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = utf8Length(text, i);
        if (n == 1 && c >= 0x80)
            return false;
        if (n == 3) {
            unsigned char c1 = static_cast<unsigned char>(text[i + 1]);
            if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0)) // overlong, surrogate
                return false;
        } else if (n == 4) {
            unsigned char c1 = static_cast<unsigned char>(text[i + 1]);
            if ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90)) // overlong, beyond U+10FFFF
                return false;
        }
        widest = std::max(widest, n);
        i += n;
    }
    if (longest)
        *longest = widest;
    return true;
}
