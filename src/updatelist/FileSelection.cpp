// File selection: TUpdates2dau::Build.
#include "GetFileList.h"
#include "Updates2dau.h"

#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "platform/TextLines.h"
#include "platform/UserPrompts.h"
#include "platform/Wildcard.h"

namespace {

// An exclusion line under the base folder. A line with '*' or '?' is a mask over the files of its folder
// (so that "ghost/master/*.log" keeps private logs out); any other line names one file.
struct Exclusion {
    std::string path;   // base folder + line, with '\'
    std::string folder; // for masks: the folder part of `path`
    std::string mask;   // for masks: the rest; empty for a plain path
};

void applyExclusion(std::vector<std::string>& listed, const Exclusion& ex) {
    if (ex.mask.empty()) {
        for (auto it = listed.begin(); it != listed.end(); ++it)
            if (SameNoCase(*it, ex.path)) {
                listed.erase(it);
                return; // one copy per listing
            }
        return;
    }
    std::erase_if(listed, [&](const std::string& p) {
        return SameNoCase(ExtractFilePath(p), ex.folder) && MatchesMask(ExtractFileName(p), ex.mask);
    });
}

} // namespace

bool TUpdates2dau::Build(const std::string& processName, const std::string& excludeName) {
    ProblemText.clear();
    items_.clear();

    std::vector<Exclusion> exclusions;
    for (const std::string& line : SplitLines(excludeName)) {
        Exclusion ex;
        ex.path = BaseFolder + ReplaceChar(line, '/', '\\');
        if (line.find_first_of("*?") != std::string::npos) {
            ex.folder = ExtractFilePath(ex.path);
            ex.mask = ExtractFileName(ex.path);
            if (ex.mask.empty())
                continue;
        }
        exclusions.push_back(std::move(ex));
    }

    for (const std::string& pattern : SplitLines(processName)) {
        std::vector<std::string> listed = GetFileList(BaseFolder + ReplaceChar(pattern, '/', '\\'));
        for (const Exclusion& ex : exclusions)
            applyExclusion(listed, ex);
        for (const std::string& path : listed) {
            Prompts().ProcessMessages();
            ThrowIfCancelled();
            auto entry = std::make_unique<TElementFile>();
            entry->BaseFolder = BaseFolder;
            entry->SetFile(path);
            items_.push_back(std::move(entry));
            // The count of files listed so far, this one included.
            ReportProgress({"ファイルリストを生成しています", static_cast<int64_t>(items_.size()), 0, 0, 0});
        }
    }
    return CheckDeleteList();
}
