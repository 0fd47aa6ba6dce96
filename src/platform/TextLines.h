#pragma once

#include <string>
#include <string_view>
#include <vector>

/// Splits text into lines: a line ends at CR LF, a lone CR or a lone LF; a NUL ends the whole text (unless
/// `nulEnds` is false: then it is kept like any byte); a last line without a line end counts, and a line end
/// at the very end does not start another, empty line.
std::vector<std::string> SplitLines(std::string_view text, bool nulEnds = true);

/// Joins lines, each followed by CR LF (the form of a multi-line text held in memory).
std::string JoinLines(const std::vector<std::string>& lines);

/// Comma text of a list of items: items joined with ','; an item holding a blank, a control character, a
/// comma or a double quote is quoted, with inner quotes doubled. A list holding one empty item gives "\"\"".
std::string ToCommaText(const std::vector<std::string>& items);

/// Reads comma text back into items (blanks around commas skipped, unquoted items end at a blank or comma,
/// quoted items at their closing quote, a trailing comma adds one empty item).
std::vector<std::string> FromCommaText(std::string_view text);
