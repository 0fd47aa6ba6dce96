// Delete-list check: TUpdates2dau::CheckDeleteList.
#include "Updates2dau.h"

#include "platform/Cp932.h"
#include "platform/FileSystem.h"
#include "platform/TextLines.h"

bool TUpdates2dau::CheckDeleteList() {
    bool selected = false;
    for (const auto& entry : items_)
        selected = selected || entry->RelativePath == "delete.txt";
    if (!selected)
        return true;

    // Lines and paths are compared as CP932 bytes, the form in which the platform will read both.
    std::vector<std::string> lines = SplitLines(ReadFileBytes(BaseFolder + "delete.txt"));
    std::vector<std::string> paths;
    for (const auto& entry : items_) {
        std::string cp;
        paths.push_back(TryUtf8ToCp932(entry->RelativePath, cp) ? cp : std::string());
    }
    std::string warnings;
    for (size_t i = 0; i < lines.size(); ++i)
        for (const std::string& path : paths)
            if (!lines[i].empty() && lines[i] == path)
                warnings += "delete.txt" + std::to_string(i + 1) + "行目、" + Cp932ToUtf8(lines[i]) +
                            "は存在します。\r\n";
    ProblemText = warnings;
    return warnings.empty();
}
