#pragma once

#include <string>
#include <string_view>

// Conversion between UTF-8 (every text in memory) and code page 932 (Shift_JIS with the Windows
// extensions), the encoding of every file and name the program exchanges with the platform.

/// Decodes CP932 bytes. Bytes that are not valid CP932 become U+FFFD; never throws.
std::string Cp932ToUtf8(std::string_view cp932);

/// Encodes UTF-8 text as CP932. Throws EEncodingError naming the text when a character has no CP932 form
/// (or the input is not valid UTF-8).
std::string Utf8ToCp932(std::string_view utf8);

/// Encodes UTF-8 text as CP932, writing '?' for every character that has no CP932 form. For values where
/// one unrepresentable character must not cost the whole write (settings).
std::string Utf8ToCp932Lossy(std::string_view utf8);

/// True when every character of the UTF-8 text has a CP932 form.
bool IsCp932Representable(std::string_view utf8);

/// True when the byte starts a double-byte CP932 character.
inline bool IsCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
