#include "TempDir.h"

#include <fstream>
#include <random>
#include <stdexcept>
#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// Paths are UTF-8 text: on Windows a path's plain string() would be the ANSI code page's.
fs::path native(const std::string& utf8) {
    return fs::u8path(utf8);
}

std::string text(const fs::path& path) {
    std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::string slashed(std::string_view relative) {
    std::string s(relative);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

} // namespace

TempDir::TempDir() {
    // A new folder that only its owner may enter, as mkdtemp makes it.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("quillon-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace);
            path_ = text(candidate) + "/";
        }
    }
    if (path_.empty())
        throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave folders without permissions behind; give them back before removing.
    for (auto it = fs::recursive_directory_iterator(native(path_),
                                                    fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(native(path_), ec);
}

std::string TempDir::write(std::string_view relative, std::string_view bytes) const {
    fs::path full = native(path_ + slashed(relative));
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + text(full));
    return text(full);
}

std::string TempDir::writeHidden(std::string_view relative, std::string_view bytes) const {
    std::string file = write(relative, bytes);
    if (native(file).filename().u8string().rfind(u8".", 0) != 0)
        throw std::logic_error("a hidden test file's name starts with '.'");
#ifdef _WIN32
    const std::wstring wide = native(file).wstring();
    SetFileAttributesW(wide.c_str(), GetFileAttributesW(wide.c_str()) | FILE_ATTRIBUTE_HIDDEN);
#endif
    return file;
}

std::string TempDir::mkdir(std::string_view relative) const {
    fs::path full = native(path_ + slashed(relative));
    fs::create_directories(full);
    return text(full);
}

void SetFileTime(const std::string& path, std::tm local, std::chrono::milliseconds past) {
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local)) + past;
#ifdef _WIN32
    // std::filesystem there sets whole seconds only.
    const int64_t unixTicks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count() / 100;
    const uint64_t ticks = static_cast<uint64_t>(unixTicks + 116444736000000000LL);
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    HANDLE h = CreateFileW(native(path).wstring().c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool set = h != INVALID_HANDLE_VALUE && ::SetFileTime(h, nullptr, nullptr, &ft);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!set)
        throw std::runtime_error("cannot set the time of " + path);
#else
    fs::last_write_time(native(path),
                        std::chrono::file_clock::from_sys(
                            std::chrono::time_point_cast<std::chrono::system_clock::duration>(when)));
#endif
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(native(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
