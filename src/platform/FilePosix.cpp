#include "File.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

int fd(intptr_t handle) {
    return static_cast<int>(handle);
}

} // namespace

TFile::~TFile() {
    Close();
}

TFile::TFile(TFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), error_(std::exchange(other.error_, 0)) {}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        error_ = std::exchange(other.error_, 0);
    }
    return *this;
}

bool TFile::Open(const std::string& path, FileAccess access) {
    Close();
    int flags = O_CLOEXEC;
    switch (access) {
    case FileAccess::Read:
        flags |= O_RDONLY;
        break;
    case FileAccess::ReadProbe:
        flags |= O_RDONLY | O_NOFOLLOW | O_NONBLOCK;
        break;
    case FileAccess::CreateNew:
        flags |= O_WRONLY | O_CREAT | O_EXCL;
        break;
    case FileAccess::ReadWriteNew:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
    }
    int opened;
    do
        opened = ::open(path.c_str(), flags, 0666);
    while (opened < 0 && errno == EINTR);
    error_ = opened < 0 ? errno : 0;
    handle_ = opened;
    return opened >= 0;
}

bool TFile::IsOpen() const {
    return handle_ >= 0;
}

int64_t TFile::Read(void* buffer, size_t n) {
    for (;;) {
        ssize_t r = ::read(fd(handle_), buffer, n);
        if (r >= 0 || errno != EINTR) {
            error_ = r < 0 ? errno : 0;
            return r;
        }
    }
}

int64_t TFile::ReadAt(void* buffer, size_t n, int64_t offset) {
    for (;;) {
        ssize_t r = ::pread(fd(handle_), buffer, n, static_cast<off_t>(offset));
        if (r >= 0 || errno != EINTR) {
            error_ = r < 0 ? errno : 0;
            return r;
        }
    }
}

namespace {

// Writes all of `n` bytes with `write` (one system call, given the bytes done so far), repeating after a
// signal or a short write; the error number on failure, else 0.
template <typename Write> int writeAll(const void* data, size_t n, Write write) {
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < n) {
        ssize_t w = write(p + done, n - done, done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return w < 0 ? errno : EIO;
        done += static_cast<size_t>(w);
    }
    return 0;
}

} // namespace

bool TFile::WriteAll(const void* data, size_t n) {
    error_ =
        writeAll(data, n, [&](const char* p, size_t left, size_t) { return ::write(fd(handle_), p, left); });
    return error_ == 0;
}

bool TFile::WriteAllAt(const void* data, size_t n, int64_t offset) {
    error_ = writeAll(data, n, [&](const char* p, size_t left, size_t done) {
        return ::pwrite(fd(handle_), p, left, static_cast<off_t>(offset + static_cast<int64_t>(done)));
    });
    return error_ == 0;
}

bool TFile::Seek(int64_t offset) {
    bool ok = ::lseek(fd(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
    error_ = ok ? 0 : errno;
    return ok;
}

int64_t TFile::Size() {
    struct stat st;
    if (::fstat(fd(handle_), &st) != 0) {
        error_ = errno;
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

bool TFile::IsRegular() {
    struct stat st;
    if (::fstat(fd(handle_), &st) != 0) {
        error_ = errno;
        return false;
    }
    return S_ISREG(st.st_mode);
}

int64_t TFile::NextData(int64_t from) {
#ifdef SEEK_DATA
    off_t data = ::lseek(fd(handle_), static_cast<off_t>(from), SEEK_DATA);
    if (data >= 0)
        return static_cast<int64_t>(data);
    if (errno == ENXIO) { // only a hole after `from`
        int64_t size = Size();
        return size > from ? size : from;
    }
#endif
    return from;
}

bool TFile::Truncate(int64_t size) {
    bool ok = ::ftruncate(fd(handle_), static_cast<off_t>(size)) == 0;
    error_ = ok ? 0 : errno;
    return ok;
}

void TFile::AdviseSequential() {
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd(handle_), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

bool TFile::TryLock() {
    bool ok = ::flock(fd(handle_), LOCK_EX | LOCK_NB) == 0;
    error_ = ok ? 0 : errno;
    return ok;
}

bool TFile::SetModifiedTime(int64_t seconds) {
    struct timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    bool ok = ::futimens(fd(handle_), times) == 0;
    error_ = ok ? 0 : errno;
    return ok;
}

bool TFile::Close() {
    if (handle_ < 0)
        return true;
    bool ok = ::close(fd(std::exchange(handle_, -1))) == 0;
    if (!ok)
        error_ = errno;
    return ok;
}

int ReplaceFilePath(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int DeleteFilePath(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

unsigned UsableCores() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
    return std::max(1u, std::thread::hardware_concurrency());
}

bool GetFileInfoOfPath(const std::string& path, FileInfo& info) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    info.regular = S_ISREG(st.st_mode);
    info.size = static_cast<int64_t>(st.st_size);
    info.modifiedTime = static_cast<int64_t>(st.st_mtim.tv_sec);
    info.modifiedNanoseconds = st.st_mtim.tv_nsec;
    info.mode = static_cast<unsigned>(st.st_mode);
    info.allocatedBytes = static_cast<int64_t>(st.st_blocks) * 512;
    size_t slash = path.find_last_of('/');
    info.hidden = path.size() > (slash == std::string::npos ? 0 : slash + 1) &&
                  path[slash == std::string::npos ? 0 : slash + 1] == '.';
    return true;
}

std::string CanonicalPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

bool LocalTimeOf(int64_t seconds, std::tm& local) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    return ::localtime_r(&t, &local) != nullptr;
}
