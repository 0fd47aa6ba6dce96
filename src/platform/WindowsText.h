#pragma once

#include <string>
#include <string_view>

// What the Windows siblings of src/platform share: every text in memory is UTF-8 and every call of the
// system takes the wide (UTF-16) form, so that a path outside the ANSI code page works; a system error code
// becomes the errno number the portable code names (SystemErrorText, SystemErrorReasonJa).

/// UTF-8 to UTF-16; bytes that are no UTF-8 become U+FFFD.
std::wstring WideText(std::string_view utf8);
/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8Text(std::wstring_view wide);
/// The errno number that says the same as a Windows error code (GetLastError()).
int ErrnoOfWindowsError(unsigned long error);
