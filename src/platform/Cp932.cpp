#include "Cp932.h"

#include "Errors.h"

#include <cerrno>
#include <iconv.h>

namespace {

// One converter per direction and thread: opening iconv is far more expensive than a short conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw EEncodingError(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as far as possible; returns false with `pos` at the offending input byte on a character
    // that cannot be converted or an invalid sequence.
    bool convert(std::string_view in, std::string& out, size_t& pos) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in.data() + pos);
        size_t inLeft = in.size() - pos;
        char buffer[4096];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            pos = in.size() - inLeft;
            if (r == static_cast<size_t>(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

Converter& toUtf8() {
    thread_local Converter c("UTF-8", "CP932");
    return c;
}

Converter& toCp932() {
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Length of the UTF-8 sequence starting at s[pos] (1 for an invalid lead byte).
size_t utf8Length(std::string_view s, size_t pos) {
    unsigned char c = static_cast<unsigned char>(s[pos]);
    size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return pos + n <= s.size() ? n : s.size() - pos;
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

std::string Utf8ToCp932(std::string_view utf8) {
    if (isAscii(utf8))
        return std::string(utf8);
    std::string out;
    size_t pos = 0;
    if (!toCp932().convert(utf8, out, pos))
        throw EEncodingError("\"" + std::string(utf8) +
                             "\" contains a character that Shift_JIS (CP932) cannot hold");
    return out;
}

std::string Utf8ToCp932Lossy(std::string_view utf8) {
    if (isAscii(utf8))
        return std::string(utf8);
    std::string out;
    size_t pos = 0;
    while (!toCp932().convert(utf8, out, pos)) {
        out += '?';
        pos += utf8Length(utf8, pos);
    }
    return out;
}

bool IsCp932Representable(std::string_view utf8) {
    if (isAscii(utf8))
        return true;
    std::string out;
    size_t pos = 0;
    return toCp932().convert(utf8, out, pos);
}
