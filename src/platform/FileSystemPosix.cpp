#include "FileSystem.h"

#include "Errors.h"
#include "Paths.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool statPath(std::string_view path, struct stat& st) {
    return ::stat(NativePath(path).c_str(), &st) == 0;
}

// write(2) until done, retrying short writes.
bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Copies the bytes of `src` to `dst` (native paths); with `exclusive` an existing `dst` is refused.
// Returns 0 or the errno of the failure; a file it created is removed again on failure.
int copyBytes(const std::string& src, const std::string& dst, bool exclusive) {
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        int code = errno ? errno : EINVAL;
        ::close(in);
        return code;
    }
    bool existed = ::access(dst.c_str(), F_OK) == 0;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    int out = ::open(dst.c_str(), flags, st.st_mode & 0777);
    if (out < 0) {
        int code = errno;
        ::close(in);
        return code;
    }
    int code = 0;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0)
                code = errno;
            break;
        }
        if (!writeAll(out, std::string_view(buffer, static_cast<size_t>(n)))) {
            code = errno;
            break;
        }
    }
    if (::close(out) != 0 && code == 0)
        code = errno;
    ::close(in);
    if (code != 0 && !existed)
        ::unlink(dst.c_str());
    return code;
}

} // namespace

bool FileExists(std::string_view path) {
    struct stat st;
    return statPath(path, st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
    struct stat st;
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool PathExists(std::string_view path) {
    struct stat st;
    return ::lstat(NativePath(path).c_str(), &st) == 0;
}

int64_t FileSize(std::string_view path) {
    struct stat st;
    return statPath(path, st) && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
}

void RenameFile(std::string_view from, std::string_view to) {
    std::string src = NativePath(from), dst = NativePath(to);
    // One step: the file is under exactly one of its names at every moment.
    if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV) {
        int code = errno;
        throw EFileError(SystemErrorText(code), code);
    }
    // link + unlink refuses an existing target on every POSIX file system, as a move on Windows does.
    if (::link(src.c_str(), dst.c_str()) == 0) {
        if (::unlink(src.c_str()) != 0) {
            int code = errno;
            ::unlink(dst.c_str());
            throw EFileError(SystemErrorText(code), code);
        }
        return;
    }
    int code = errno;
    if (code == EEXIST)
        throw EFileError(SystemErrorText(code), code);
    // File systems without hard links: check, then rename.
    struct stat st;
    if (code == EPERM || code == EXDEV || code == EMLINK || code == ENOTSUP) {
        if (::lstat(dst.c_str(), &st) == 0)
            throw EFileError(SystemErrorText(EEXIST), EEXIST);
        if (::rename(src.c_str(), dst.c_str()) == 0)
            return;
        code = errno;
    }
    // Another file system: copy, then delete the original.
    if (code == EXDEV) {
        code = copyBytes(src, dst, true);
        if (code == 0) {
            if (::unlink(src.c_str()) == 0)
                return;
            code = errno;
            ::unlink(dst.c_str());
        }
    }
    throw EFileError(SystemErrorText(code), code);
}

bool CopyFileTo(std::string_view from, std::string_view to) {
    return copyBytes(NativePath(from), NativePath(to), false) == 0;
}

bool RemoveFile(std::string_view path) {
    return ::unlink(NativePath(path).c_str()) == 0;
}

bool CreateDir(std::string_view path) {
    return ::mkdir(NativePath(path).c_str(), 0777) == 0;
}

std::string ReadFileBytes(std::string_view path) {
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        ThrowFileError(FileAction::Open, path, errno);
    std::string data;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int code = errno;
            ::close(fd);
            ThrowFileError(FileAction::Read, path, code);
        }
        if (n == 0)
            break;
        data.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return data;
}

void WriteFileBytes(std::string_view path, std::string_view bytes) {
    int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        ThrowFileError(FileAction::Create, path, errno);
    bool ok = writeAll(fd, bytes);
    int code = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (!ok)
        ThrowFileError(FileAction::Write, path, code);
}

bool AppendFileBytes(std::string_view path, std::string_view bytes) {
    int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes);
    return ::close(fd) == 0 && ok;
}

namespace {

// The file a path finally names: symbolic links are followed (also to a target that does not exist yet),
// so that replacing the file keeps the link.
std::string followLinks(const std::string& native) {
    std::string current = native;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        ssize_t n = ::readlink(current.c_str(), target.data(), target.size() - 1);
        if (n < 0)
            return current;
        std::string next(target.data(), static_cast<size_t>(n));
        if (next.empty() || next[0] != '/') {
            size_t slash = current.rfind('/');
            next = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + next;
        }
        current = next;
    }
    return current;
}

} // namespace

void WriteFileAtomic(std::string_view path, std::string_view bytes) {
    std::string target = followLinks(NativePath(path));
    struct stat old;
    bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists) {
        // A read-only file stays as it is, also for a user (root) whom its mode would not stop; an
        // immutable one refuses the rename below.
        if (!S_ISREG(old.st_mode))
            ThrowFileError(FileAction::Write, path, S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
        if ((old.st_mode & 0222) == 0)
            ThrowFileError(FileAction::Write, path, EACCES);
    }
    std::string temp = target + ".tmp" + std::to_string(::getpid());
    // A settings file may hold passwords: the temporary file is readable by its owner only while it is
    // written (also when a kill leaves it behind); a replaced file's mode comes with the rename.
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        ThrowFileError(FileAction::Create, path, errno);
    // Held while it is written, so that a start-up that removes what killed writers left takes it for live.
    ::flock(fd, LOCK_EX | LOCK_NB);
    bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (ok && exists) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner and the group of the caller can be given; the mode is what protects.
        }
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    int code = 0;
    if (!ok)
        code = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        ThrowFileError(FileAction::Write, path, code);
    }
}

int RemoveLeftoverTemporaries(std::string_view path) {
    std::string target = followLinks(NativePath(path));
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int dirFd = ::dirfd(dir);
    int removed = 0;
    while (dirent* e = ::readdir(dir)) {
        std::string_view name = e->d_name;
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix ||
            name.find_first_not_of("0123456789", prefix.size()) != std::string_view::npos)
            continue;
        int fd = ::openat(dirFd, e->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st;
        // A writer that still runs holds its lock; a killed one's lock went with it.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(dirFd, e->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

bool ListDirectory(std::string_view folder, std::vector<DirEntry>& entries) {
    std::string native = NativePath(folder);
    if (native.empty())
        native = ".";
    DIR* dir = ::opendir(native.c_str());
    if (!dir)
        return false;
    int dirFd = ::dirfd(dir);
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        DirEntry entry;
        entry.name = e->d_name;
        entry.hidden = e->d_name[0] == '.';
        struct stat st;
        entry.isFile = ::fstatat(dirFd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return true;
}

std::string SearchPathVariable() {
    const char* path = std::getenv("PATH");
    return path ? path : "";
}
