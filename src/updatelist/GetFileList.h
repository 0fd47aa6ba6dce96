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
