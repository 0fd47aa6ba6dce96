#pragma once

#include <string_view>

// File-name wildcards and comparisons without regard to case, as the platform's file system applies them.

/// Whether a file name matches one mask (no ';'): case-insensitive, '*' any run of characters, '?' one
/// character, "*.*" every name, and a trailing ".*" also matches a name without an extension. An empty
/// mask matches nothing.
bool MatchesMask(std::string_view name, std::string_view mask);

/// Orders names without regard to case (ties broken by the exact bytes, so the order is stable).
bool LessNoCase(std::string_view a, std::string_view b);

/// Equality without regard to case (ASCII letters fold; other characters compare exactly).
bool SameNoCase(std::string_view a, std::string_view b);
