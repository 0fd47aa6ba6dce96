#pragma once

#include <memory>
#include <string>

/// A loaded library whose entries are looked up by name.
class DynamicLibrary {
public:
    virtual ~DynamicLibrary() = default;
    /// The entry's address, or nullptr when the library has no entry of that name.
    virtual void* Symbol(const std::string& name) = 0;
    /// The library's full path as the platform reports it.
    virtual std::string ModulePath() const = 0;
};

/// Loads a shared library from disk by its file name (the platform's search rules); nullptr on failure.
std::unique_ptr<DynamicLibrary> LoadSharedLibrary(const std::string& fileName);
