#pragma once

#include <string>

/// Runs a shell command of the Linux machine and returns what it printed on standard output; `status` gets
/// its exit status. (The Windows test program runs under wine and reaches /bin/sh through WineHost.)
std::string RunShell(const std::string& command, int* status = nullptr);

/// Sets or clears a file's immutable attribute with chattr; false where the file system does not allow
/// it (the tests run as root, so only this attribute, not the mode, makes a file truly unwritable), and
/// on Windows, which has no such attribute.
bool SetImmutable(const std::string& path, bool on);
