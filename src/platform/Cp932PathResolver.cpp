#include "Cp932PathResolver.h"

#include "Cp932.h"
#include "FileSystem.h"

std::vector<std::string> SplitCp932Path(std::string_view cp932Path, bool& absolute) {
    std::vector<std::string> components;
    absolute = !cp932Path.empty() && (cp932Path[0] == '/' || cp932Path[0] == '\\');
    std::string current;
    for (size_t i = 0; i < cp932Path.size(); ++i) {
        char c = cp932Path[i];
        if (IsCp932LeadByte(static_cast<unsigned char>(c)) && i + 1 < cp932Path.size()) {
            current += c;
            current += cp932Path[++i];
        } else if (c == '/' || c == '\\') {
            if (!current.empty())
                components.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        components.push_back(std::move(current));
    return components;
}

bool Cp932PathResolver::findEntry(const std::string& folder, const std::string& component,
                                  std::string& name) {
    auto it = listings_.find(folder);
    if (it == listings_.end()) {
        std::vector<DirEntry> entries;
        ListDirectory(folder.empty() ? "." : folder, entries);
        std::vector<std::pair<std::string, std::string>> forms;
        for (const DirEntry& e : entries) {
            std::string cp;
            if (TryUtf8ToCp932(e.name, cp))
                forms.emplace_back(std::move(cp), e.name);
        }
        it = listings_.emplace(folder, std::move(forms)).first;
    }
    for (const auto& [form, entryName] : it->second)
        if (form == component) {
            name = entryName;
            return true;
        }
    return false;
}

bool Cp932PathResolver::resolve(std::string_view cp932Path, bool lastMayBeMissing, std::string& native) {
    bool absolute = false;
    std::vector<std::string> components = SplitCp932Path(cp932Path, absolute);
    std::string path = absolute ? "/" : base_;
    for (size_t i = 0; i < components.size(); ++i) {
        const std::string& component = components[i];
        bool last = i + 1 == components.size();
        std::string decoded = Cp932ToUtf8(component), name, check;
        // The usual case costs no listing: the decoded name is there and has this very form.
        if (component == "." || component == ".." ||
            (PathExists(path + decoded) && TryUtf8ToCp932(decoded, check) && check == component))
            name = decoded;
        else if (!findEntry(path, component, name)) {
            if (!(last && lastMayBeMissing))
                return false;
            name = decoded;
        }
        path += name;
        if (!last)
            path += '/';
    }
    native = path;
    return true;
}

bool Cp932PathResolver::Resolve(std::string_view cp932Path, std::string& native) {
    return resolve(cp932Path, false, native);
}

bool Cp932PathResolver::ResolveForCreate(std::string_view cp932Path, std::string& native) {
    return resolve(cp932Path, true, native);
}
