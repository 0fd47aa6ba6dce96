#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

/// A fresh folder under the system's temporary folder, removed with everything in it at scope exit.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    /// The folder, with a trailing '/'.
    const std::string& path() const { return path_; }
    /// path() + relative (relative may use '/' or '\').
    std::string operator/(std::string_view relative) const { return path_ + std::string(relative); }

    /// Creates a file (and its folders) with exactly these bytes; returns its full path.
    std::string write(std::string_view relative, std::string_view bytes) const;
    /// write() of a file the system takes for hidden: its name starts with '.', which is all POSIX looks at;
    /// on Windows it also gets the hidden attribute, which is all Windows looks at.
    std::string writeHidden(std::string_view relative, std::string_view bytes) const;
    /// Creates a folder (and its parents); returns its full path.
    std::string mkdir(std::string_view relative) const;

private:
    std::string path_;
};

/// Sets a file's last-write time to a local time and a part of a second past it.
void SetFileTime(const std::string& path, std::tm local, std::chrono::milliseconds past = {});

/// The whole content of a file; throws when it cannot be read.
std::string ReadAll(const std::string& path);
