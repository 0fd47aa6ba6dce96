#include "NamedStreams.h"

#include "Errors.h"
#include "FileSystem.h"
#include "WindowsText.h"

#include <cstddef>
#include <windows.h>

namespace {

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

[[noreturn]] void fail(FileAction action, const std::string& path) {
    ThrowFileError(action, path, ErrnoOfWindowsError(GetLastError()));
}

// The header of one stream in the backup format: WIN32_STREAM_ID up to (not including) its name.
constexpr DWORD headerSize = offsetof(WIN32_STREAM_ID, cStreamName);

} // namespace

bool VolumeHasNamedStreams(const std::string& path) {
    std::wstring wide = WideText(path);
    wchar_t root[MAX_PATH + 1];
    DWORD flags = 0;
    return GetVolumePathNameW(wide.c_str(), root, MAX_PATH + 1) &&
           GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
           (flags & FILE_NAMED_STREAMS);
}

std::vector<NamedStream> NamedStreamsOf(const std::string& path) {
    std::vector<NamedStream> streams;
    Handle file(CreateFileW(WideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.h == INVALID_HANDLE_VALUE)
        return streams;
    void* context = nullptr;
    for (;;) {
        WIN32_STREAM_ID header{};
        DWORD got = 0;
        if (!BackupRead(file.h, reinterpret_cast<BYTE*>(&header), headerSize, &got, FALSE, FALSE, &context) ||
            got < headerSize)
            break;
        std::wstring name(header.dwStreamNameSize / sizeof(wchar_t), L'\0');
        if (header.dwStreamNameSize > 0 &&
            (!BackupRead(file.h, reinterpret_cast<BYTE*>(name.data()), header.dwStreamNameSize, &got, FALSE,
                         FALSE, &context) ||
             got < header.dwStreamNameSize))
            break;
        // The main stream and streams without a name are the file itself.
        if (header.dwStreamId == BACKUP_ALTERNATE_DATA && !name.empty())
            streams.push_back({Utf8Text(name), header.dwStreamAttributes, header.Size.QuadPart});
        if (header.Size.QuadPart > 0) {
            DWORD low = 0, high = 0;
            BackupSeek(file.h, header.Size.LowPart, static_cast<DWORD>(header.Size.HighPart), &low, &high,
                       &context);
        }
    }
    BYTE none[1];
    DWORD got = 0;
    BackupRead(file.h, none, 0, &got, TRUE, FALSE, &context); // frees the reading's context
    return streams;
}

bool CopyNamedStream(const std::string& file, const NamedStream& stream, const std::string& copy) {
    Handle in(CreateFileW(WideText(file + stream.name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (in.h == INVALID_HANDLE_VALUE)
        return false;
    DWORD attributes = stream.attributes ? stream.attributes : FILE_ATTRIBUTE_NORMAL;
    Handle out(
        CreateFileW(WideText(copy).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
    if (out.h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_EXISTS)
            return false;
        fail(FileAction::Create, copy);
    }
    uint32_t left = static_cast<uint32_t>(stream.size);
    char buffer[65536];
    while (left > 0) {
        DWORD want = left < sizeof buffer ? left : static_cast<DWORD>(sizeof buffer), got = 0, put = 0;
        if (!ReadFile(in.h, buffer, want, &got, nullptr))
            fail(FileAction::Read, file + stream.name);
        if (got == 0)
            break;
        if (!WriteFile(out.h, buffer, got, &put, nullptr) || put != got)
            fail(FileAction::Write, copy);
        left -= got;
    }
    WIN32_FILE_ATTRIBUTE_DATA times;
    if (GetFileAttributesExW(WideText(file).c_str(), GetFileExInfoStandard, &times))
        SetFileTime(out.h, &times.ftCreationTime, &times.ftLastAccessTime, &times.ftLastWriteTime);
    return true;
}
