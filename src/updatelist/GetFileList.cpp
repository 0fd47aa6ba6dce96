#include "GetFileList.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Wildcard.h"

#include <algorithm>

std::vector<std::string> GetFileList(std::string_view path) {
    std::string folder = ExtractFilePath(path);
    std::string masks = ExtractFileName(path);
    if (masks.empty() || folder.find_first_of("*?") != std::string::npos)
        return {};
    std::vector<DirEntry> entries;
    if (!ListDirectory(folder.empty() ? "." : folder, entries))
        return {};

    std::vector<std::string> names;
    size_t start = 0;
    for (;;) {
        size_t semi = masks.find(';', start);
        std::string_view piece = std::string_view(masks).substr(start, semi - start);
        for (const DirEntry& e : entries)
            if (e.isFile && !e.hidden && MatchesMask(e.name, piece))
                names.push_back(e.name);
        if (semi == std::string::npos)
            break;
        start = semi + 1;
    }
    std::stable_sort(names.begin(), names.end(), LessNoCase);
    std::vector<std::string> result;
    result.reserve(names.size());
    for (const std::string& name : names)
        result.push_back(folder + name);
    return result;
}
