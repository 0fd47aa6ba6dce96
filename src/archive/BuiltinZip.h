#pragma once

#include "platform/DynamicLibrary.h"

#include <cstdint>
#include <memory>
#include <string>

/// The built-in zip writer, standing in for the ZIP creator library: its "Zip" entry takes the create
/// command line of that library's language (switches, quoted archive, quoted base folder, escaped and
/// quoted member names or "@" and a response file) and writes a fresh archive with libzip. It understands
/// -D (no folder entries; it never writes any), -0 to -9 (deflate level), -X (no extra fields; it never
/// writes any), -q, -S and -j; any other switch is refused with a non-zero code and a message in the
/// output buffer, and no archive is written.
std::unique_ptr<DynamicLibrary> CreateBuiltinZipLibrary();

/// The "Zip" entry itself (CP932 command line).
extern "C" int BuiltinZipCommand(void* window, const char* commandLine, char* output, uint32_t size);
