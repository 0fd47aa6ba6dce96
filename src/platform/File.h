#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// How a file is opened.
enum class FileAccess {
    Read,      ///< reading, while others may read (and, on Windows, write and delete) it too
    CreateNew, ///< writing a file that must not exist yet
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

    /// Opens `path` (UTF-8); false when it cannot be opened (Error() says why; EEXIST for CreateNew when
    /// the file exists). Closes any file held before.
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
    /// Closes the file; false when the system reported a failure (a write that did not reach the disk).
    bool Close();

private:
    intptr_t handle_ = -1; // a descriptor on POSIX, a HANDLE on Windows
    int error_ = 0;
};
