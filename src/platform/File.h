#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

/// What the file system says of a file.
struct FileInfo {
    bool regular = false;         ///< an ordinary file
    int64_t size = 0;             ///< in bytes
    int64_t modifiedTime = 0;     ///< seconds since 1970-01-01 UTC
    long modifiedNanoseconds = 0; ///< and the part of a second
    unsigned mode = 0;            ///< the POSIX mode bits (type and permissions)
    int64_t allocatedBytes = 0;   ///< on the disk: less than the size for a file with holes
    bool hidden = false;          ///< hidden (or a system file) on Windows; a name starting with '.' on POSIX
};

/// How a file is opened.
enum class FileAccess {
    Read,         ///< reading, while others may read it too (on Windows: not while another writes it)
    ReadProbe,    ///< reading, without following a link or waiting for the writer of a pipe
    CreateNew,    ///< writing a file that must not exist yet
    ReadWriteNew, ///< reading and writing a file that must not exist yet
};

/// An open file of the local file system, closed with its owner on every way out. Failures return a flag
/// or -1 and leave the system's error number in Error(), for SystemErrorText. Calls interrupted by a
/// signal are repeated.
class TFile {
public:
    TFile() = default;
    ~TFile();
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    /// Opens `path`, in the system's form (NativePath of a UTF-8 path); false when it cannot be opened
    /// (Error() says why; EEXIST when a new file exists). Closes any file held before.
    bool Open(const std::string& path, FileAccess access);
    bool IsOpen() const;
    int Error() const { return error_; }

    /// Up to `n` bytes from the current position; 0 at the end, -1 on failure.
    int64_t Read(void* buffer, size_t n);
    /// Up to `n` bytes from `offset`, without moving the position; -1 on failure.
    int64_t ReadAt(void* buffer, size_t n, int64_t offset);
    /// All `n` bytes at the current position; false on failure.
    bool WriteAll(const void* data, size_t n);
    /// All `n` bytes at `offset`, without moving the position; false on failure.
    bool WriteAllAt(const void* data, size_t n, int64_t offset);
    /// Moves the current position; false on failure.
    bool Seek(int64_t offset);
    /// The file's size in bytes, or -1.
    int64_t Size();
    /// Whether it is an ordinary file (not a folder, device or pipe).
    bool IsRegular();
    /// The first offset at or after `from` that holds data rather than a hole of a sparse file; the size
    /// when only a hole follows; `from` itself where the system cannot tell.
    int64_t NextData(int64_t from);
    /// Cuts or extends the file to `size` bytes; false on failure.
    bool Truncate(int64_t size);
    /// Tells the system the file will be read once from start to end (a hint: it may do nothing).
    void AdviseSequential();
    /// Takes an exclusive lock on the whole file without waiting; false when another holder has one. The
    /// lock goes with the file's closing.
    bool TryLock();
    /// Sets the file's modification (and access) time, in seconds since 1970-01-01 UTC.
    bool SetModifiedTime(int64_t seconds);
    /// Closes the file; false when the system reported a failure (a write that did not reach the disk).
    bool Close();

private:
    intptr_t handle_ = -1; // a descriptor on POSIX, a HANDLE on Windows
    int error_ = 0;
};

/// Gives the file `from` the name `to`, replacing a file of that name in one step (both in the system's
/// form); 0, or the system's error number.
int ReplaceFilePath(const std::string& from, const std::string& to);
/// Deletes the file `path` (in the system's form); 0, or the system's error number.
int DeleteFilePath(const std::string& path);

/// What the file system says of `path` (in the system's form, a link followed); false when nothing is
/// found under that name.
bool GetFileInfoOfPath(const std::string& path, FileInfo& info);
/// The path with every link and "." or ".." resolved (in the system's form), or empty when it cannot be.
std::string CanonicalPath(const std::string& path);
/// The local time of a moment (seconds since 1970-01-01 UTC); false when the system cannot tell.
bool LocalTimeOf(int64_t seconds, std::tm& local);

/// How many processors this process may run on (at least 1).
unsigned UsableCores();
