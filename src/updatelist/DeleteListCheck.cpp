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

    std::vector<std::string> lines = SplitLines(Cp932ToUtf8(ReadFileBytes(BaseFolder + "delete.txt")));
    std::string warnings;
    for (size_t i = 0; i < lines.size(); ++i)
        for (const auto& entry : items_)
            if (lines[i] == entry->RelativePath)
                warnings += "delete.txt" + std::to_string(i + 1) + "行目、" + lines[i] + "は存在します。\r\n";
    ProblemText = warnings;
    return warnings.empty();
}
