#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Running state of one MD5 computation (RFC 1321).
struct MD5Context {
    uint32_t state[4];
    uint32_t count[2]; ///< bits fed so far, low word first
    unsigned char buffer[64];
};

void MD5Init(MD5Context& context);
void MD5Update(MD5Context& context, const void* bytes, size_t count);
/// Pads, appends the bit count and returns the digest as 32 lower-case hexadecimal digits; then overwrites
/// the whole context with zero bytes.
std::string MD5Final(MD5Context& context);

/// The digest text of a file's whole content, read in 8192-byte pieces; the empty text when the file
/// cannot be opened, sized or read. Never throws. A file that shrinks while it is read gives the digest of
/// the bytes that were there.
std::string MD5File(std::string_view path);

/// The digest text of bytes in memory.
std::string MD5String(std::string_view bytes);
