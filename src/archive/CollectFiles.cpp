#include "CollectFiles.h"

#include "ArchiverApi.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/NamedStreams.h"
#include "platform/Paths.h"
#include "platform/Wildcard.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <set>

namespace {

// Years written with two digits fall into the century window that starts this many years back.
constexpr int TwoDigitYearWindow = 50;

bool endsWithSeparator(const std::string& folder) {
    return !folder.empty() && IsPathDelimiter(folder.back());
}

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return endsWithSeparator(folder) ? folder + name : folder + "\\" + name;
}

struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return LessNoCase(a, b); }
};

class Collector {
public:
    Collector(const TArchiverOptions& w, const std::string& baseDir, bool& abort,
              std::vector<std::string>& temporaries)
        : w_(w), baseDir_(baseDir), abort_(abort), temporaries_(temporaries) {}

    std::set<std::string, NoCaseLess> Search(const std::vector<std::string>& patterns, bool allWhenEmpty,
                                             const CollectProgress* handler,
                                             const std::vector<std::string>* excluded) {
        dateFrom_ = DateBound(w_.jo, "000000");
        dateTo_ = DateBound(w_.job, "235959");
        result_.clear();
        listings_.clear();
        handler_ = handler;
        excluded_ = excluded;
        std::memset(&info_, 0, sizeof info_);
        for (const std::string& pattern : patterns) {
            if (abort_)
                break;
            if (w_.r > 1 && DirectoryExists(NativePath(resolve(pattern)))) {
                walk(pattern, "*.*");
                continue;
            }
            size_t cut = pattern.find_last_of("/\\:");
            std::string folder = cut == std::string::npos ? "" : pattern.substr(0, cut + 1);
            walk(folder, cut == std::string::npos ? pattern : pattern.substr(cut + 1));
        }
        if (patterns.empty() && allWhenEmpty)
            walk("", "*.*");
        return std::move(result_);
    }

private:
    std::string resolve(const std::string& folder) const {
        if (baseDir_.empty() || IsAbsolutePath(folder))
            return folder;
        return join(baseDir_, folder);
    }

    bool passesDates(const FileInfo& info) const {
        std::time_t t = static_cast<std::time_t>(info.modifiedTime);
        return (dateFrom_ == 0 || t >= dateFrom_) && (dateTo_ == 0 || t <= dateTo_);
    }

    std::string listName(const std::string& folder, const std::string& name) const {
        std::string joined = join(folder, name);
        // jf = -2: relative to the base folder, as the platform's relative-path rule gives it.
        if (w_.jf == -2 && !baseDir_.empty()) {
            std::string base = IncludeTrailingPathDelimiter(baseDir_);
            if (joined.compare(0, base.size(), base) == 0)
                return joined.substr(base.size());
        }
        return joined;
    }

    // A folder's entries, read once per search (the job names every file on its own).
    const std::vector<DirEntry>* entriesOf(const std::string& dir) {
        auto it = listings_.find(dir);
        if (it == listings_.end()) {
            std::vector<DirEntry> entries;
            if (!ListDirectory(NativePath(dir.empty() ? "." : dir), entries))
                return nullptr;
            it = listings_.emplace(dir, std::move(entries)).first;
        }
        return &it->second;
    }

    bool accept(const std::string& dir, const std::string& name, bool isFile, bool hidden) const {
        if (!isFile || (hidden && w_.a <= 0))
            return false; // only ordinary files can be packed; hidden ones need a > 0
        FileInfo info;
        return GetFileInfo(join(dir, name), info) && passesDates(info);
    }

    void walk(const std::string& folder, const std::string& mask) {
        std::string dir = resolve(folder);
        bool wildcard = mask.find_first_of("*?") != std::string::npos;
        bool descend = w_.r > 0 && (w_.p <= 0 || wildcard);
        if (!wildcard && !descend && !mask.empty()) {
            // A plain name: the file itself when it exists under that exact name.
            FileInfo info;
            if (GetFileInfo(join(dir, mask), info)) {
                if (accept(dir, mask, info.regular, info.hidden))
                    add(listName(folder, mask), join(dir, mask));
                return;
            }
        }
        const std::vector<DirEntry>* entries = entriesOf(dir);
        if (!entries)
            return;
        for (const DirEntry& e : *entries) {
            if (abort_)
                return;
            if (MatchesMask(e.name, mask) && accept(dir, e.name, e.isFile, e.hidden))
                add(listName(folder, e.name), join(dir, e.name));
        }
        if (!descend)
            return;
        std::vector<std::string> subfolders;
        for (const DirEntry& e : *entries)
            if (!e.isFile && DirectoryExists(NativePath(join(dir, e.name))))
                subfolders.push_back(e.name);
        for (const std::string& sub : subfolders) {
            if (abort_)
                return;
            walk(join(folder, sub), mask);
        }
    }

    void add(const std::string& name, const std::string& path) {
        if (excluded_)
            for (const std::string& ex : *excluded_)
                if (SameNoCase(ex, name))
                    return;
        bool grew = result_.insert(name).second;
        // Only what is packed gets copies of its streams (the exclusion lines are searched too).
        if (grew && w_.IncludeExtraStreams && handler_)
            copyStreams(name, path);
        if (grew && handler_ && *handler_) {
            std::string bytes = Utf8ToCp932Lossy(name).substr(0, sizeof info_.szSourceFileName - 1);
            std::memset(info_.szSourceFileName, 0, sizeof info_.szSourceFileName);
            std::memcpy(info_.szSourceFileName, bytes.data(), bytes.size());
            (*handler_)(ARCEXTRACT_COLLECTING, &info_, abort_);
        }
    }

    // Each named stream of the file becomes a file of its own beside it, packed under the file's name
    // followed by the stream's (a file of that name already there is packed as it is and left alone).
    void copyStreams(const std::string& name, const std::string& path) {
        const std::string native = NativePath(path);
        if (!VolumeHasNamedStreams(native))
            return;
        for (const NamedStream& stream : NamedStreamsOf(native)) {
            const std::string copyName = StreamCopyName(name, stream.name, w_.StreamSeparator);
            const std::string copyPath = NativePath(resolve(copyName));
            bool created = CopyNamedStream(native, stream, copyPath);
            if (created)
                temporaries_.push_back(ExpandFileName(copyPath));
            if (created || FileExists(copyPath))
                result_.insert(copyName);
        }
    }

    const TArchiverOptions& w_;
    std::string baseDir_;
    bool& abort_;
    std::vector<std::string>& temporaries_;
    std::time_t dateFrom_ = 0, dateTo_ = 0;
    std::set<std::string, NoCaseLess> result_;
    std::map<std::string, std::vector<DirEntry>> listings_;
    const CollectProgress* handler_ = nullptr;
    const std::vector<std::string>* excluded_ = nullptr;
    ExtractingInfoEx info_{};
};

int digits(const std::string& text, size_t pos, size_t count, const std::string& whole) {
    int value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            throw EQuillon("'" + whole + "' is not a valid date and time");
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

std::time_t DateBound(const std::string& textIn, const std::string& defaultTime) {
    std::string text = textIn;
    if (text.size() > 1 && text[0] == 'l')
        text.erase(0, 1);
    int yearDigits;
    switch (text.size()) {
    case 6:
        yearDigits = 2;
        text += defaultTime;
        break;
    case 12:
        yearDigits = 2;
        break;
    case 8:
        yearDigits = 4;
        text += defaultTime;
        break;
    case 14:
        yearDigits = 4;
        break;
    default:
        return 0;
    }
    size_t p = 0;
    int year = digits(text, p, static_cast<size_t>(yearDigits), textIn);
    p += static_cast<size_t>(yearDigits);
    int month = digits(text, p, 2, textIn), day = digits(text, p + 2, 2, textIn);
    int hour = digits(text, p + 4, 2, textIn), minute = digits(text, p + 6, 2, textIn),
        second = digits(text, p + 8, 2, textIn);
    if (yearDigits == 2) {
        std::tm local{};
        LocalTimeOf(static_cast<int64_t>(std::time(nullptr)), local);
        int current = local.tm_year + 1900;
        int pivot = current - TwoDigitYearWindow;
        year += pivot / 100 * 100;
        if (year < pivot)
            year += 100;
    }
    static const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] + (month == 2 && leap ? 1 : 0) ||
        hour > 23 || minute > 59 || second > 59 || year < 1)
        throw EQuillon("'" + textIn + "' is not a valid date and time");
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::string StreamCopyName(const std::string& listName, const std::string& streamName,
                           const std::string& separator) {
    // Two characters: the separator's own length in UTF-8 does not count.
    size_t firstEnd = separator.empty() ? 0 : 1;
    while (firstEnd < separator.size() && (static_cast<unsigned char>(separator[firstEnd]) & 0xC0) == 0x80)
        ++firstEnd;
    size_t characters = 0;
    for (unsigned char c : separator)
        characters += (c & 0xC0) != 0x80;
    if (characters != 2)
        return listName + streamName;
    const std::string first = separator.substr(0, firstEnd);
    std::string out = listName;
    for (size_t i = 0; i < streamName.size(); ++i) {
        if (streamName[i] != ':') {
            out += streamName[i];
        } else if (i + 1 < streamName.size() && streamName[i + 1] == '\x05') {
            out += separator;
            ++i;
        } else {
            out += first;
        }
    }
    return out;
}

std::vector<std::string> CollectFiles(std::vector<std::string>& temporaries, TArchiverOptions& w,
                                      const std::string& baseDir, const CollectProgress& progress,
                                      const PackItems& files, bool& abort) {
    std::vector<std::string> patterns = FlattenItems(files, false);
    if (!baseDir.empty() && !DirectoryExists(NativePath(baseDir))) {
        int code = errno ? errno : ENOENT;
        throw EFileError(SystemErrorText(code), code);
    }
    Collector collector(w, baseDir, abort, temporaries);
    std::set<std::string, NoCaseLess> excludedSet = collector.Search(w.jx, false, nullptr, nullptr);
    std::vector<std::string> excluded(excludedSet.begin(), excludedSet.end());
    std::set<std::string, NoCaseLess> found = collector.Search(patterns, true, &progress, &excluded);
    w.r = -1;
    w.jo = NotSetMarker;
    w.job = NotSetMarker;
    w.p = 1;
    return std::vector<std::string>(found.begin(), found.end());
}
