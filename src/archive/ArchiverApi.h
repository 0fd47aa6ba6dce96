#pragma once

#include <cstdint>

// The entries of the common archiver API that archiver libraries export. Texts are CP932, NUL-terminated.
// Window handles are opaque; an in-process library that wants to report progress to a window registered
// with SetOwnerWindowEx calls ArchiverWindowMessage with it.
extern "C" {
using ArcCommand = int (*)(void* window, const char* commandLine, char* output, uint32_t size);
using ArcCheckArchive = int (*)(const char* archive, int mode);
using ArcOpenArchive = void* (*)(void* window, const char* archive, uint32_t mode);
using ArcCloseArchive = int (*)(void* archive);
using ArcFindFirst = int (*)(void* archive, const char* wildcard, void* info);
using ArcFindNext = int (*)(void* archive, void* info);
using ArcExtractMem = int (*)(void* window, const char* commandLine, void* buffer, uint32_t size, void* time,
                              void* attributes, uint32_t* written);
using ArcGetArchiveType = int (*)(const char* archive);
using ArcSetOwnerWindowEx = int (*)(void* window, void* procedure);
using ArcKillOwnerWindowEx = int (*)(void* window);
using ArcGetFileTime = int (*)(void* archive, void* fileTime);
using ArcGetSize64 = int (*)(void* archive, int64_t* size);
using ArcSetEnumMembersProc64 = int (*)(void* procedure, uint32_t recordSize);
using ArcClearEnumMembersProc64 = int (*)();
/// The member callback handed to SetEnumMembersProc64: returns 0 to stop.
using ArcEnumMembersProc = int (*)(void* memberInfo);
}

/// Delivers a progress message ("wm_arcextract") to a window that a library was given: returns 1 when the
/// handlers asked to abort, else 0. For in-process libraries.
int ArchiverWindowMessage(void* window, int state, void* extractingInfo);

/// State of the progress notifications that file collection sends for each accepted name.
inline constexpr int ARCEXTRACT_COLLECTING = 0x0805;
// Result codes of the common archiver API that this program produces or reports.
inline constexpr int ERROR_FILE_OPEN = 0x800D;    ///< a member file could not be opened or read
inline constexpr int ERROR_CANNOT_WRITE = 0x8013; ///< the archive could not be written
inline constexpr int ERROR_COMMAND_NAME = 0x801C; ///< a command or switch that is not understood
inline constexpr int ERROR_USER_CANCEL = 0x8020;  ///< a progress handler asked to stop

/// The progress record of the common archiver API (EXTRACTINGINFOEX); texts are CP932.
struct ExtractingInfoEx {
    uint32_t dwFileSize;
    uint32_t dwWriteSize;
    char szSourceFileName[513];
    char dummy1[3];
    char szDestFileName[513];
    char dummy[3];
    uint32_t dwCompressedSize;
    uint32_t dwCRC;
    unsigned int uOSType;
    uint16_t wRatio;
    uint16_t wDate;
    uint16_t wTime;
    char szAttribute[8];
    char szMode[8];
};
