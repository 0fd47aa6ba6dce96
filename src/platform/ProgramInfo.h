#pragma once

#include <string>

// What the About command shows and opens.

/// The program's file version: on Windows the "FileVersion" text of its own version resource (Japanese,
/// code page 932: "StringFileInfo\041103A4\FileVersion"), empty when there is none; elsewhere the version
/// the build was made with.
std::string ProgramFileVersion();

/// Opens a web address with the system shell's "open" (Windows: ShellExecute); false where the platform has
/// no such shell or it refused, so that the caller opens it its own way.
bool OpenWithShell(const std::string& address);
