#pragma once

#include "platform/DynamicLibrary.h"

#include <functional>
#include <memory>
#include <string>

/// Makes an in-process library that stands in for an archiver library file.
using ArchiverLibraryFactory = std::function<std::unique_ptr<DynamicLibrary>()>;

/// Registers an implementation under a library file name (matched without regard to case), replacing any
/// earlier one. The built-in zip writer is registered as "ZIP32J.DLL".
void RegisterArchiverLibrary(const std::string& fileName, ArchiverLibraryFactory factory);
/// Removes a registration (also a built-in one); that name is then looked for on disk.
void UnregisterArchiverLibrary(const std::string& fileName);
/// Restores the built-in registrations and drops every other one.
void ResetArchiverLibraries();

/// The library of that file name: a registered implementation, else one loaded from disk; nullptr when
/// there is neither.
std::unique_ptr<DynamicLibrary> LoadArchiverLibrary(const std::string& fileName);
