#include "ArchiverRegistry.h"

#include "BuiltinZip.h"

#include <map>

namespace {

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::map<std::string, ArchiverLibraryFactory>& registry() {
    static std::map<std::string, ArchiverLibraryFactory> libraries = [] {
        std::map<std::string, ArchiverLibraryFactory> m;
        m["ZIP32J.DLL"] = CreateBuiltinZipLibrary;
        return m;
    }();
    return libraries;
}

} // namespace

void RegisterArchiverLibrary(const std::string& fileName, ArchiverLibraryFactory factory) {
    registry()[upper(fileName)] = std::move(factory);
}

void UnregisterArchiverLibrary(const std::string& fileName) {
    registry().erase(upper(fileName));
}

void ResetArchiverLibraries() {
    registry().clear();
    registry()["ZIP32J.DLL"] = CreateBuiltinZipLibrary;
}

std::unique_ptr<DynamicLibrary> LoadArchiverLibrary(const std::string& fileName) {
    auto it = registry().find(upper(fileName));
    if (it != registry().end())
        return it->second();
    return LoadSharedLibrary(fileName);
}
