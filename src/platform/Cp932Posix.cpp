#include "Cp932Converter.h"

#include "Errors.h"

#include <cerrno>
#include <iconv.h>

namespace {

const char* iconvName(Charset charset) {
    switch (charset) {
    case Charset::Utf8:
        return "UTF-8";
    case Charset::Cp932:
        return "CP932";
    case Charset::Utf16LE:
        return "UTF-16LE";
    case Charset::Utf16BE:
        return "UTF-16BE";
    }
    return "UTF-8";
}

} // namespace

struct Converter::State {
    iconv_t cd;
};

Converter::Converter(Charset to, Charset from)
    : state_(std::make_unique<State>(State{iconv_open(iconvName(to), iconvName(from))})) {
    if (state_->cd == reinterpret_cast<iconv_t>(-1))
        throw EEncodingError(std::string("iconv cannot convert ") + iconvName(from) + " to " + iconvName(to));
}

Converter::~Converter() {
    iconv_close(state_->cd);
}

bool Converter::convert(std::string_view in, std::string& out, size_t& pos) {
    iconv(state_->cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data() + pos);
    size_t inLeft = in.size() - pos;
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t r = iconv(state_->cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        pos = in.size() - inLeft;
        if (r == static_cast<size_t>(-1) && errno != E2BIG)
            return false;
    }
    return true;
}
