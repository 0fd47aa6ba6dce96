#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// Finds local files by the CP932 form of their path, the identity a name has in updates2.dau, on the
/// wire and in an archive. Decoding those bytes is not enough: CP932 is no one-to-one map of Unicode
/// (81 60 is the form of both U+301C and U+FF5E, and decodes as U+FF5E), so each component is matched
/// against the folder's entries by their CP932 form. Folder listings are cached for the resolver's life.
class Cp932PathResolver {
public:
    /// Relative paths are resolved under `nativeBase` (a native folder, ending with a separator, whose own
    /// name need not have a CP932 form), or under the current folder when it is empty.
    explicit Cp932PathResolver(std::string nativeBase = {}) : base_(std::move(nativeBase)) {}

    /// The native path of the existing file or folder whose path (CP932 bytes, '\' or '/' between the
    /// components, absolute or relative) is `cp932Path`; false when there is none.
    bool Resolve(std::string_view cp932Path, std::string& native);
    /// As Resolve for the folder part; the last component names a file that may not exist yet (an existing
    /// entry of that CP932 form is taken as it is, else the component is decoded).
    bool ResolveForCreate(std::string_view cp932Path, std::string& native);

private:
    // The entry of `folder` (native, with a trailing '/', or empty for the current folder) whose name has
    // the CP932 form `component`; false when none has.
    bool findEntry(const std::string& folder, const std::string& component, std::string& name);
    bool resolve(std::string_view cp932Path, bool lastMayBeMissing, std::string& native);

    std::string base_;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> listings_; // CP932 form, name
};

/// The components of a CP932 path split at '\' and '/' characters (a second byte 0x5C is no separator);
/// `absolute` tells whether it started with a separator. Empty components are dropped.
std::vector<std::string> SplitCp932Path(std::string_view cp932Path, bool& absolute);
