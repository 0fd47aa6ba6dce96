#pragma once

#include "platform/DynamicLibrary.h"

#include <cstdint>
#include <memory>
#include <string>

/// The built-in zip writer, standing in for the ZIP creator library: its "Zip" entry takes the create
/// command line of that library's language (switches, quoted archive, quoted base folder, escaped and
/// quoted member names or a quoted "@" and response file) and writes a fresh archive (ZipCommand.h lists
/// the switches it honours; any other is refused with a non-zero code and a message in the output buffer,
/// and no archive is written). Its "ZipCheckCommand" entry only checks such a command, so that the
/// binding can refuse one before it deletes the old archive. "ZipUtf8" and "ZipCheckCommandUtf8" take the
/// same command as UTF-8: the archive and base folder are then native paths, which need no CP932 form,
/// and only the member names must have one.
std::unique_ptr<DynamicLibrary> CreateBuiltinZipLibrary();

/// The "Zip" entry itself (CP932 command line): 0 when the archive was written, else an error code.
extern "C" int BuiltinZipCommand(void* window, const char* commandLine, char* output, uint32_t size);
/// The "ZipCheckCommand" entry: 0 when "Zip" would accept the command, else its error code and message.
extern "C" int BuiltinZipCheckCommand(void* window, const char* commandLine, char* output, uint32_t size);
/// The "ZipUtf8" entry: "Zip" for a UTF-8 command line.
extern "C" int BuiltinZipCommandUtf8(void* window, const char* commandLine, char* output, uint32_t size);
/// The "ZipCheckCommandUtf8" entry: "ZipCheckCommand" for a UTF-8 command line.
extern "C" int BuiltinZipCheckCommandUtf8(void* window, const char* commandLine, char* output, uint32_t size);
