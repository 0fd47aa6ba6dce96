#pragma once

#include <string>

// The Windows test program runs under wine on the Linux machine that builds it; the test servers, the
// openssl command and the archive readers are that machine's programs. Wine starts a Linux program from
// CreateProcessW, but gives it no standard handles the test could read and no process handle to wait on,
// so the programs' output and exit status travel through files.

/// The Linux path of a Windows path (wine's own mapping); the path unchanged when it has none.
std::string HostPath(const std::string& windowsPath);

/// `text` with every absolute Windows path in it (a drive letter, ':' and a separator, up to the next blank
/// or quote) replaced by its Linux path, for a command line of a Linux program.
std::string WithHostPaths(const std::string& text);

/// Runs `command` with the Linux machine's /bin/sh (Windows paths in it translated), waits for it, and
/// returns what it wrote on standard output; `status` gets its exit status (-1 when it did not finish
/// within `timeoutSeconds`).
std::string RunHostShell(const std::string& command, int* status, int timeoutSeconds = 600);

/// One argument of a Windows command line, quoted so that it is split back into exactly `arg`.
std::string WindowsQuoted(const std::string& arg);

/// Starts a Linux program in the background with these arguments (Windows paths translated); false when
/// wine refused.
bool StartHostProgram(const std::string& commandLine);

/// A new empty file name in the temporary folder (not created).
std::string TemporaryFileName(const std::string& stem);
