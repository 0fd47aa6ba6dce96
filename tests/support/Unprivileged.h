#pragma once

#include <cerrno>
#include <filesystem>
#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

/// While it lives, the file system's permission checks of this thread are made for the user "nobody"
/// (setfsuid), so that a test that runs as root, whom no file mode stops, can meet a file it may not read.
/// For any other user it changes nothing: the modes apply already. Windows has no such switch: there it
/// changes nothing either (UnreadableFile holds the file instead). The files and folders the test wants
/// reachable must be open to others (chmod).
class AsUnprivilegedUser {
public:
#ifdef _WIN32
    AsUnprivilegedUser() : root_(false) {}
    ~AsUnprivilegedUser() = default;
#else
    AsUnprivilegedUser() : root_(::geteuid() == 0) {
        if (root_) {
            ::setfsgid(65534);
            ::setfsuid(65534);
        }
    }
    ~AsUnprivilegedUser() {
        if (root_) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }
#endif
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;

private:
    bool root_;
};

/// A file this program cannot read until release() or the end of the scope. On POSIX its mode is taken
/// away (which stops root only inside AsUnprivilegedUser); on Windows the file is held open without
/// sharing, as another program may hold it. `Code` is the error it meets, `Reason` how the program words it.
class UnreadableFile {
public:
#ifdef _WIN32
    static constexpr const char* Reason = "ほかのプログラムが使用中です";
    static constexpr int Code = EBUSY;
    explicit UnreadableFile(const std::string& path)
        : held_(CreateFileW(std::filesystem::u8path(path).wstring().c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr)) {}
    void release() {
        if (held_ != INVALID_HANDLE_VALUE)
            CloseHandle(held_);
        held_ = INVALID_HANDLE_VALUE;
    }
#else
    static constexpr const char* Reason = "アクセスが許可されていません";
    static constexpr int Code = EACCES;
    explicit UnreadableFile(const std::string& path) : path_(path) {
        ::chmod(path_.c_str(), 0);
    }
    void release() {
        if (!path_.empty())
            ::chmod(path_.c_str(), 0644);
        path_.clear();
    }
#endif
    ~UnreadableFile() {
        release();
    }
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

private:
#ifdef _WIN32
    HANDLE held_;
#else
    std::string path_;
#endif
};
