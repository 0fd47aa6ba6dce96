#include "File.h"

#include "WindowsText.h"

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>
#include <windows.h>

namespace {

HANDLE h(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

constexpr intptr_t closed = -1; // INVALID_HANDLE_VALUE

int lastErrno() {
    return ErrnoOfWindowsError(GetLastError());
}

// 100-nanosecond intervals since 1601 to seconds since 1970 and back.
constexpr int64_t epochDifference = 11644473600LL;

int64_t unixSeconds(const FILETIME& ft, long* nanoseconds = nullptr) {
    int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    if (nanoseconds)
        *nanoseconds = static_cast<long>(ticks % 10000000) * 100;
    return ticks / 10000000 - epochDifference;
}

FILETIME fileTime(int64_t seconds) {
    uint64_t ticks = static_cast<uint64_t>(seconds + epochDifference) * 10000000ULL;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

// The POSIX mode bits the portable code reads: the type, and write permission unless read-only.
unsigned modeOf(DWORD attributes) {
    unsigned mode = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0040000u : 0100000u;
    mode |= (attributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
    return mode;
}

} // namespace

TFile::~TFile() {
    Close();
}

TFile::TFile(TFile&& other) noexcept
    : handle_(std::exchange(other.handle_, closed)), error_(std::exchange(other.error_, 0)) {}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, closed);
        error_ = std::exchange(other.error_, 0);
    }
    return *this;
}

bool TFile::Open(const std::string& path, FileAccess access) {
    Close();
    DWORD desired = GENERIC_READ, share = FILE_SHARE_READ, disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    switch (access) {
    case FileAccess::Read:
        // Others may read, not write: a file another program is writing is not taken half-written. A
        // folder opens too (as on POSIX), so that callers can see it is no file.
        flags |= FILE_FLAG_BACKUP_SEMANTICS;
        break;
    case FileAccess::ReadProbe:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
        break;
    case FileAccess::CreateNew:
        desired = GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
    case FileAccess::ReadWriteNew:
        desired = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
    }
    // Deleting and renaming an open file must work as on POSIX (temporaries, the zip writer's target).
    if (access == FileAccess::CreateNew || access == FileAccess::ReadWriteNew)
        share = FILE_SHARE_READ | FILE_SHARE_DELETE;
    HANDLE opened = CreateFileW(WideText(path).c_str(), desired, share, nullptr, disposition, flags, nullptr);
    error_ = opened == INVALID_HANDLE_VALUE ? lastErrno() : 0;
    handle_ = reinterpret_cast<intptr_t>(opened);
    return opened != INVALID_HANDLE_VALUE;
}

bool TFile::IsOpen() const {
    return handle_ != closed;
}

int64_t TFile::Read(void* buffer, size_t n) {
    DWORD got = 0;
    if (!ReadFile(h(handle_), buffer, static_cast<DWORD>(std::min<size_t>(n, 1u << 30)), &got, nullptr)) {
        error_ = lastErrno();
        return -1;
    }
    error_ = 0;
    return got;
}

int64_t TFile::ReadAt(void* buffer, size_t n, int64_t offset) {
    // Reading with an offset moves a synchronous handle's position: put it back, as pread leaves it.
    LARGE_INTEGER zero{}, position{};
    SetFilePointerEx(h(handle_), zero, &position, FILE_CURRENT);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD got = 0;
    bool ok = ReadFile(h(handle_), buffer, static_cast<DWORD>(std::min<size_t>(n, 1u << 30)), &got, &at);
    int code = ok || GetLastError() == ERROR_HANDLE_EOF ? 0 : lastErrno();
    SetFilePointerEx(h(handle_), position, nullptr, FILE_BEGIN);
    error_ = code;
    return code ? -1 : static_cast<int64_t>(got);
}

bool TFile::WriteAll(const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        DWORD done = 0;
        if (!WriteFile(h(handle_), p, static_cast<DWORD>(std::min<size_t>(n, 1u << 30)), &done, nullptr) ||
            done == 0) {
            error_ = done == 0 && GetLastError() == ERROR_SUCCESS ? EIO : lastErrno();
            return false;
        }
        p += done;
        n -= done;
    }
    error_ = 0;
    return true;
}

bool TFile::WriteAllAt(const void* data, size_t n, int64_t offset) {
    LARGE_INTEGER zero{}, position{};
    SetFilePointerEx(h(handle_), zero, &position, FILE_CURRENT);
    const char* p = static_cast<const char*>(data);
    bool ok = true;
    while (n > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
        DWORD done = 0;
        if (!WriteFile(h(handle_), p, static_cast<DWORD>(std::min<size_t>(n, 1u << 30)), &done, &at) ||
            done == 0) {
            ok = false;
            break;
        }
        p += done;
        n -= done;
        offset += done;
    }
    error_ = ok ? 0 : lastErrno();
    SetFilePointerEx(h(handle_), position, nullptr, FILE_BEGIN);
    return ok;
}

bool TFile::Seek(int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    bool ok = SetFilePointerEx(h(handle_), to, nullptr, FILE_BEGIN);
    error_ = ok ? 0 : lastErrno();
    return ok;
}

int64_t TFile::Size() {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h(handle_), &size)) {
        error_ = lastErrno();
        return -1;
    }
    return size.QuadPart;
}

bool TFile::IsRegular() {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h(handle_)) != FILE_TYPE_DISK || !GetFileInformationByHandle(h(handle_), &info)) {
        error_ = EINVAL;
        return false;
    }
    return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

int64_t TFile::NextData(int64_t from) {
    // Sparse files are rare on Windows; reading their holes costs time, not correctness.
    return from;
}

bool TFile::Truncate(int64_t size) {
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = size;
    bool ok = SetFileInformationByHandle(h(handle_), FileEndOfFileInfo, &end, sizeof end);
    error_ = ok ? 0 : lastErrno();
    return ok;
}

void TFile::AdviseSequential() {}

bool TFile::TryLock() {
    OVERLAPPED whole{};
    bool ok = LockFileEx(h(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                         MAXDWORD, &whole);
    error_ = ok ? 0 : lastErrno();
    return ok;
}

bool TFile::SetModifiedTime(int64_t seconds) {
    FILETIME ft = fileTime(seconds);
    bool ok = SetFileTime(h(handle_), nullptr, &ft, &ft);
    error_ = ok ? 0 : lastErrno();
    return ok;
}

bool TFile::Close() {
    if (handle_ == closed)
        return true;
    bool ok = CloseHandle(h(std::exchange(handle_, closed)));
    if (!ok)
        error_ = lastErrno();
    return ok;
}

int ReplaceFilePath(const std::string& from, const std::string& to) {
    return MoveFileExW(WideText(from).c_str(), WideText(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : lastErrno();
}

int DeleteFilePath(const std::string& path) {
    return DeleteFileW(WideText(path).c_str()) ? 0 : lastErrno();
}

unsigned UsableCores() {
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        unsigned n = 0;
        for (DWORD_PTR bits = process; bits; bits &= bits - 1)
            ++n;
        return std::max(1u, n);
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

bool GetFileInfoOfPath(const std::string& path, FileInfo& info) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WideText(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    info.regular = (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    info.size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    info.modifiedTime = unixSeconds(data.ftLastWriteTime, &info.modifiedNanoseconds);
    info.mode = modeOf(data.dwFileAttributes);
    info.hidden = (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    info.allocatedBytes = info.size;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_COMPRESSED)) {
        DWORD high = 0;
        DWORD low = GetCompressedFileSizeW(WideText(path).c_str(), &high);
        if (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR)
            info.allocatedBytes = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
    }
    return true;
}

std::string CanonicalPath(const std::string& path) {
    HANDLE file =
        CreateFileW(WideText(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    CloseHandle(file);
    if (n == 0 || n >= buffer.size())
        return {};
    buffer.resize(n);
    // "\\?\C:\..." is the form for long paths; the plain form is what the user knows.
    if (buffer.compare(0, 4, L"\\\\?\\") == 0 && buffer.compare(4, 4, L"UNC\\") != 0)
        buffer.erase(0, 4);
    return Utf8Text(buffer);
}

bool LocalTimeOf(int64_t seconds, std::tm& local) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    return localtime_s(&local, &t) == 0;
}
