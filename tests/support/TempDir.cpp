#include "TempDir.h"

#include <fstream>
#include <random>
#include <stdexcept>

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

std::string TempDir::mkdir(std::string_view relative) const {
    fs::path full = native(path_ + slashed(relative));
    fs::create_directories(full);
    return text(full);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(native(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
