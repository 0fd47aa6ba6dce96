#pragma once

#include <memory>
#include <string>
#include <string_view>

// The system's converter between the encodings Cp932.cpp works with (iconv on POSIX, the code-page
// functions on Windows). Internal to src/platform.

enum class Charset { Utf8, Cp932, Utf16LE, Utf16BE };

// One converter per direction; the users keep one per thread, as opening one may cost far more than a
// short conversion.
class Converter {
public:
    Converter(Charset to, Charset from);
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts in[pos..] as far as possible, appending to `out`; returns false with `pos` at the offending
    // input byte on a character that has no form in the target (strictly: no best fit, nothing dropped)
    // or an invalid or cut-off sequence.
    bool convert(std::string_view in, std::string& out, size_t& pos);

private:
    struct State;
    std::unique_ptr<State> state_;
};
