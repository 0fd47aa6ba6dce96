#include "Cp932Converter.h"

#include "Cp932.h"

#include <windows.h>

// The system's own code page 932 table, strictly: WC_NO_BEST_FIT_CHARS with the used-default check, so a
// character without an exact form (〜 U+301C, ¥ U+00A5) is refused instead of taking a look-alike's bytes.

namespace {

constexpr UINT codePage932 = 932;

// Windows' table also gives the single bytes 80, A0 and FD to FF a meaning (U+0080 and private-use
// characters) that no Shift_JIS text has; like every other converter, these count as no characters, so that
// settings files keep such bytes as bytes whichever system reads them.
bool isStraySingleByte(unsigned char c) {
    return c == 0x80 || c == 0xA0 || c >= 0xFD;
}

// Whether CP932 bytes hold one of those bytes where a character starts.
bool holdsStraySingleByte(std::string_view cp932) {
    for (size_t i = 0; i < cp932.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(cp932[i]);
        if (isStraySingleByte(c))
            return true;
        i += IsCp932LeadByte(c);
    }
    return false;
}

bool decode(Charset from, std::string_view in, std::wstring& out) {
    out.clear();
    if (in.empty())
        return true;
    if (from == Charset::Utf16LE || from == Charset::Utf16BE) {
        if (in.size() % 2)
            return false;
        for (size_t i = 0; i < in.size(); i += 2) {
            unsigned char a = static_cast<unsigned char>(in[i]), b = static_cast<unsigned char>(in[i + 1]);
            out += static_cast<wchar_t>(from == Charset::Utf16LE ? a | b << 8 : b | a << 8);
        }
        // Surrogates only in pairs, as every converter demands.
        for (size_t i = 0; i < out.size(); ++i) {
            bool high = out[i] >= 0xD800 && out[i] <= 0xDBFF, low = out[i] >= 0xDC00 && out[i] <= 0xDFFF;
            if (low || (high && (i + 1 == out.size() || out[i + 1] < 0xDC00 || out[i + 1] > 0xDFFF)))
                return false;
            i += high;
        }
        return true;
    }
    if (from == Charset::Cp932 && holdsStraySingleByte(in))
        return false;
    UINT page = from == Charset::Cp932 ? codePage932 : CP_UTF8;
    int n =
        MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0)
        return false;
    out.resize(static_cast<size_t>(n));
    return MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out.data(),
                               n) == n;
}

bool encode(Charset to, const std::wstring& in, std::string& out) {
    if (in.empty())
        return true;
    if (to == Charset::Utf16LE || to == Charset::Utf16BE) {
        for (wchar_t c : in) {
            char lowByte = static_cast<char>(c & 0xFF), highByte = static_cast<char>((c >> 8) & 0xFF);
            out += to == Charset::Utf16LE ? lowByte : highByte;
            out += to == Charset::Utf16LE ? highByte : lowByte;
        }
        return true;
    }
    int size = static_cast<int>(in.size());
    if (to == Charset::Utf8) {
        int n =
            WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, in.data(), size, nullptr, 0, nullptr, nullptr);
        if (n <= 0)
            return false;
        std::string bytes(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, in.data(), size, bytes.data(), n, nullptr,
                            nullptr);
        out += bytes;
        return true;
    }
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(codePage932, WC_NO_BEST_FIT_CHARS, in.data(), size, nullptr, 0, nullptr,
                                &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage932, WC_NO_BEST_FIT_CHARS, in.data(), size, bytes.data(), n, nullptr,
                        &usedDefault);
    if (usedDefault || holdsStraySingleByte(bytes))
        return false;
    out += bytes;
    return true;
}

// The length of the character at in[pos] in `from`, or 0 when the bytes there cannot be one.
size_t characterLength(Charset from, std::string_view in, size_t pos) {
    unsigned char c = static_cast<unsigned char>(in[pos]);
    size_t left = in.size() - pos, n = 1;
    switch (from) {
    case Charset::Cp932:
        n = IsCp932LeadByte(c) ? 2 : 1;
        break;
    case Charset::Utf8:
        n = c < 0x80                 ? 1
            : c >= 0xC2 && c <= 0xDF ? 2
            : c >= 0xE0 && c <= 0xEF ? 3
            : c >= 0xF0 && c <= 0xF4 ? 4
                                     : 0;
        break;
    case Charset::Utf16LE:
    case Charset::Utf16BE: {
        if (left < 2)
            return 0;
        unsigned char highByte = static_cast<unsigned char>(in[pos + (from == Charset::Utf16LE ? 1 : 0)]);
        n = highByte >= 0xD8 && highByte <= 0xDB ? 4 : 2;
        break;
    }
    }
    return n <= left ? n : 0;
}

} // namespace

struct Converter::State {
    Charset to, from;
};

Converter::Converter(Charset to, Charset from) : state_(std::make_unique<State>(State{to, from})) {}

Converter::~Converter() = default;

bool Converter::convert(std::string_view in, std::string& out, size_t& pos) {
    std::wstring wide;
    // Most text converts whole; only text with a fault is walked character by character to find it.
    size_t before = out.size();
    if (decode(state_->from, in.substr(pos), wide) && encode(state_->to, wide, out)) {
        pos = in.size();
        return true;
    }
    out.resize(before);
    while (pos < in.size()) {
        size_t n = characterLength(state_->from, in, pos);
        if (n == 0 || !decode(state_->from, in.substr(pos, n), wide) || !encode(state_->to, wide, out))
            return false;
        pos += n;
    }
    return true;
}
