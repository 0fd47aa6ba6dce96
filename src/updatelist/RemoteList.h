#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

/// Splits one line of updates2.dau (CP932 bytes, without its line end) at its 0x01 bytes: the first piece
/// is the name, the second the digest, further pieces are ignored. False when the line has fewer than two
/// pieces (a 0x01 at the very end starts no piece).
bool SplitUpdateLine(std::string_view line, std::string_view& name, std::string_view& digest);

/// The server's update list as the comparison needs it: the digest of each name (its CP932 bytes), the
/// first line of a name winning. The file's bytes are held once and indexed in place, so that a list from
/// a hostile server costs a small multiple of its size, and a look-up costs the same for any length.
class TRemoteList {
public:
    /// Reads the lines of `bytes` (CR LF, CR or LF ends a line; a NUL ends the text) up to the first one
    /// that is no entry. `pump` is called every few thousand lines (it may throw to stop). False when a
    /// bad line ended the reading: the entries before it are kept.
    bool Load(std::string bytes, const std::function<void()>& pump = nullptr);
    /// The digest listed for a CP932 name, or nullptr.
    const std::string_view* Find(std::string_view cp932Name) const;
    size_t Count() const { return digests_.size(); }

private:
    std::string bytes_;
    std::unordered_map<std::string_view, std::string_view> digests_;
};
