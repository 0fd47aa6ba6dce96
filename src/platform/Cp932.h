#pragma once

#include <string>
#include <string_view>

// Conversion between UTF-8 (every text in memory) and code page 932 (Shift_JIS with the Windows
// extensions), the encoding of every file and name the program exchanges with the platform.

/// Decodes CP932 bytes. Bytes that are not valid CP932 become U+FFFD; never throws.
std::string Cp932ToUtf8(std::string_view cp932);

/// Encodes UTF-8 text as CP932, strictly: a character without a CP932 form (tag characters U+E0000 to
/// U+E007F included, which the platform's converter would drop without a word), and a non-ASCII character
/// whose form would be an ASCII byte (U+00A5 to '\\', U+203E to '~'), is an error, as is text that is not
/// valid UTF-8. Characters with a double-byte form are accepted, also where two of them share it (U+301C
/// and U+FF5E both give 81 60): for a name, the CP932 bytes are its identity. Throws EEncodingError naming
/// the text.
std::string Utf8ToCp932(std::string_view utf8);

/// The strict encoding of Utf8ToCp932 without the exception: false (and `out` unspecified) on failure.
bool TryUtf8ToCp932(std::string_view utf8, std::string& out);

/// The strict encoding for text that must come back as typed (settings values): succeeds only when the
/// CP932 form decodes to the very same text. Refuses, besides what TryUtf8ToCp932 refuses, the seven
/// characters whose form decodes as another one: ¢ £ ¬ — ‖ − 〜 (U+00A2 U+00A3 U+00AC U+2014 U+2016 U+2212
/// U+301C, read back as ￠ ￡ ￢ ― ∥ － ～).
bool TryUtf8ToCp932Exact(std::string_view utf8, std::string& out);

/// True when every byte belongs to a character that CP932 decodes.
bool IsValidCp932(std::string_view cp932);

/// Decodes CP932 bytes into UTF-16 of the given byte order (no byte-order mark) without losing a byte: a
/// byte that is not valid CP932 becomes the lone surrogate U+DC00 + byte (U+DC80 to U+DCFF, the form
/// Python calls "surrogateescape"), from which it can be told and recovered.
std::string Cp932ToUtf16(std::string_view cp932, bool bigEndian);

/// Encodes UTF-8 text as CP932 for display only (the log file): every character without a CP932 form, and
/// every byte that is not valid UTF-8, becomes one '?'; everything else is kept.
std::string Utf8ToCp932Lossy(std::string_view utf8);

/// True when Utf8ToCp932 would succeed.
bool IsCp932Representable(std::string_view utf8);

/// True for valid UTF-8 (overlong forms and surrogates count as invalid). `longest` receives the length of
/// the longest sequence seen (1 for ASCII text).
bool IsValidUtf8(std::string_view text, size_t* longest = nullptr);

/// Decodes UTF-16 bytes (no byte-order mark) of the given byte order; bad sequences become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);
/// Encodes UTF-8 text as UTF-16 of the given byte order, without byte-order mark; bytes that are not
/// valid UTF-8 become U+FFFD.
std::string Utf8ToUtf16(std::string_view utf8, bool bigEndian);

/// True when the byte starts a double-byte CP932 character.
inline bool IsCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
