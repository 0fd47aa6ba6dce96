// File selection: TUpdates2dau::Build.
#include "GetFileList.h"
#include "MD5.h"
#include "Updates2dau.h"

#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "platform/TextLines.h"
#include "platform/UserPrompts.h"
#include "platform/Wildcard.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

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

// The digests of the listed files, computed on the other cores ahead of the list, which takes them in
// order: reading and digesting a ghost is most of the time a list takes.
class DigestsAhead {
public:
    explicit DigestsAhead(const std::vector<std::string>& paths)
        : paths_(paths), digests_(paths.size()), done_(paths.size(), 0) {
        const unsigned threads = std::min(4u, std::max(1u, std::thread::hardware_concurrency()));
        for (unsigned t = 0; t < threads && paths.size() > 1; ++t) {
            try {
                threads_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break; // fewer threads; Take digests what none took
            }
        }
    }
    ~DigestsAhead() {
        stop_ = true;
        for (std::thread& t : threads_)
            t.join();
    }
    DigestsAhead(const DigestsAhead&) = delete;
    DigestsAhead& operator=(const DigestsAhead&) = delete;

    std::string Take(size_t i) {
        if (threads_.empty())
            return MD5File(paths_[i]);
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return done_[i] != 0; });
        return std::move(digests_[i]);
    }

private:
    void work() {
        for (size_t i; !stop_ && (i = next_++) < paths_.size();) {
            std::string digest = MD5File(paths_[i]);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                digests_[i] = std::move(digest);
                done_[i] = 1;
            }
            ready_.notify_all();
        }
    }

    const std::vector<std::string>& paths_;
    std::vector<std::string> digests_;
    std::vector<char> done_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<std::thread> threads_;
};

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

    std::vector<std::string> paths;
    for (const std::string& pattern : SplitLines(processName)) {
        std::vector<std::string> listed = GetFileList(BaseFolder + ReplaceChar(pattern, '/', '\\'));
        for (const Exclusion& ex : exclusions)
            applyExclusion(listed, ex);
        paths.insert(paths.end(), listed.begin(), listed.end());
    }
    DigestsAhead digests(paths);
    for (size_t i = 0; i < paths.size(); ++i) {
        Prompts().ProcessMessages();
        ThrowIfCancelled();
        auto entry = std::make_unique<TElementFile>();
        entry->BaseFolder = BaseFolder;
        entry->SetFile(paths[i], digests.Take(i));
        items_.push_back(std::move(entry));
        // The count of files listed so far, this one included.
        ReportProgress({"ファイルリストを生成しています", static_cast<int64_t>(items_.size()), 0, 0, 0});
    }
    return CheckDeleteList();
}
