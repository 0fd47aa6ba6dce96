#pragma once

#include <string>
#include <string_view>
#include <vector>

/// Lists the ordinary files of one folder matching a mask. `path` is the folder followed by the mask (for
/// example ".../ghost/master/*.dic"); the mask may hold '*', '?' and several masks separated by ';'.
/// Folders, hidden and system files are skipped; names are sorted without regard to case; each result is
/// the folder part of `path` followed by the name as stored. A missing or unreadable folder, an empty mask
/// and a folder part holding a wildcard give an empty list. Never throws.
std::vector<std::string> GetFileList(std::string_view path);

/// Whether a file name matches one mask (no ';'): case-insensitive, '*' any run of characters, '?' one
/// character, "*.*" every name, and a trailing ".*" also matches a name without an extension. An empty
/// mask matches nothing.
bool MatchesMask(std::string_view name, std::string_view mask);

/// Orders names without regard to case (ties broken by the exact bytes, so the order is stable).
bool LessNoCase(std::string_view a, std::string_view b);

/// Equality without regard to case (ASCII letters fold; other characters compare exactly).
bool SameNoCase(std::string_view a, std::string_view b);
