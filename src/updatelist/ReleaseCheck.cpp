// The release check: what the users' side would make of a list before it leaves.
#include "ReleaseCheck.h"

#include "Updates2dau.h"
#include "platform/Cp932.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TextLines.h"
#include "platform/Wildcard.h"

#include <map>
#include <set>

namespace {

// Files a ghost's users must not receive: what each user's copy makes for itself (save and learned data,
// logs, the baseware's own files) and what the author's system leaves in folders. Matched against the
// file's name in any folder, without regard to case.
struct UnwantedFile {
    const char* mask;
    const char* what;
};
constexpr const char* UsersOwn = "各ユーザーの手元で作られるファイル";
constexpr const char* SystemLeftover = "OSやエディタが作るファイル";
const UnwantedFile UnwantedFiles[] = {
    {"ngm.dat", UsersOwn},
    {"profile.txt", UsersOwn},
    {"updates.txt", UsersOwn},
    {"satori_savedata.txt", UsersOwn},
    {"satori_savebackup.txt", UsersOwn},
    {"satorite.txt", UsersOwn},
    {"satorite.exe", UsersOwn},
    {"tama.exe", UsersOwn},
    {"nsconf.txt", UsersOwn},
    {"Dict-KEEPSs.txt", UsersOwn},
    {"Dict-Learned.txt", UsersOwn},
    {"misaka_vars.txt", UsersOwn},
    {"aya_variable.*", UsersOwn},
    {"aya5_variable.*", UsersOwn},
    {"yaya_variable.*", UsersOwn},
    {"kyr_shiori_log.txt", UsersOwn},
    {"れしば.txt", UsersOwn},
    {"*.log", UsersOwn},
    {"Thumbs.db", SystemLeftover},
    {"desktop.ini", SystemLeftover},
    {".DS_Store", SystemLeftover},
    {"*.bak", SystemLeftover},
    {"*.tmp", SystemLeftover},
    {"~*", SystemLeftover},
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// A CP932 path as the baseware compares it: '/' between folders, ASCII letters in lower case (unless
// `lowerCase` is false). Characters
// are walked, so the second byte of a double-byte character is neither a separator nor a letter.
std::string baseWareForm(const std::string& cp932, bool lowerCase = true) {
    std::string out;
    out.reserve(cp932.size());
    for (size_t i = 0; i < cp932.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(cp932[i]);
        if (IsCp932LeadByte(c) && i + 1 < cp932.size()) {
            out += cp932[i];
            out += cp932[++i];
        } else if (c == '\\') {
            out += '/';
        } else if (c >= 'A' && c <= 'Z' && lowerCase) {
            out += static_cast<char>(c - 'A' + 'a');
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

void checkDeleteLines(const TUpdates2dau& list, std::vector<std::string>& findings) {
    bool selected = false;
    for (size_t i = 0; i < list.Count(); ++i)
        selected = selected || list[i].RelativePath == "delete.txt";
    if (!selected)
        return;
    std::multimap<std::string, const TElementFile*> distributed; // by the baseware's form of the name
    for (size_t i = 0; i < list.Count(); ++i)
        if (!list[i].FileNameCp932.empty())
            distributed.emplace(baseWareForm(list[i].FileNameCp932), &list[i]);
    const std::vector<std::string> lines = SplitLines(ReadFileBytes(list.BaseFolder + "delete.txt"));
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string line = trimmed(lines[n]);
        const std::string key = baseWareForm(line);
        auto [first, last] = distributed.equal_range(key);
        if (key.empty() || first == last)
            continue;
        // Of files whose names differ only in case, the one the line spells is named.
        auto it = first;
        for (auto candidate = first; candidate != last; ++candidate)
            if (candidate->second->FileNameCp932 == baseWareForm(line, false)) {
                it = candidate;
                break;
            }
        std::string exact;
        if (TryUtf8ToCp932(it->second->RelativePath, exact) && lines[n] == exact)
            continue; // the exact check has told it already
        findings.push_back("delete.txt" + std::to_string(n + 1) + "行目「" + Cp932ToUtf8(lines[n]) +
                           "」は、配布する" + it->second->FileName +
                           "をユーザー側で削除します。この行を削除してください。");
    }
}

void checkCaseTwins(const TUpdates2dau& list, std::vector<std::string>& findings) {
    std::map<std::string, const TElementFile*> seen;
    std::set<std::string> told; // each name once, also when a pattern selects it again
    for (size_t i = 0; i < list.Count(); ++i) {
        const TElementFile& entry = list[i];
        if (entry.FileNameCp932.empty())
            continue;
        auto [it, added] = seen.emplace(baseWareForm(entry.FileNameCp932), &entry);
        // The same file selected by two patterns is one file, not two names.
        if (!added && it->second->FileNameCp932 != entry.FileNameCp932 &&
            told.insert(entry.FileNameCp932).second)
            findings.push_back(it->second->FileName + "と" + entry.FileName +
                               "は大文字と小文字だけが違う名前のため、Windowsでは一方が他方を上書きします。"
                               "どちらかの名前を変えてください。");
    }
}

void checkUnwanted(const TUpdates2dau& list, std::vector<std::string>& findings) {
    for (size_t i = 0; i < list.Count(); ++i) {
        const std::string name = ExtractFileName(ReplaceChar(list[i].RelativePath, '\\', '/'));
        for (const UnwantedFile& u : UnwantedFiles)
            if (MatchesMask(name, u.mask)) {
                findings.push_back(list[i].FileName + "は配布すべきでないファイル（" + u.what +
                                   "）です。除外ファイル名条件に加えてください。");
                break;
            }
    }
}

void checkHomeUrl(const TUpdates2dau& list, std::vector<std::string>& findings) {
    const std::string descript = list.BaseFolder + "ghost\\master\\descript.txt";
    if (!FileExists(descript))
        return; // a shell or balloon: no ghost to take a home URL from
    std::string url;
    if (!ReadGhostTextValue(descript, "homeurl", url) || url.empty())
        findings.push_back("ghost/master/descript.txtにhomeurlの行がありません。"
                           "「homeurl,https://…/」の形で、updates2.dauを置く場所のURLを書いてください。");
    else if (url.back() != '/')
        findings.push_back("ghost/master/descript.txtのhomeurl「" + url +
                           "」が/で終わっていません。末尾に/を付けてください。");
}

void checkInstallTxt(const TUpdates2dau& list, std::vector<std::string>& findings) {
    const TElementFile* install = nullptr;
    bool package = false; // every ghost, shell and balloon has a descript.txt; a plain zip of files has none
    for (size_t i = 0; i < list.Count(); ++i) {
        if (!install && SameNoCase(list[i].RelativePath, "install.txt"))
            install = &list[i];
        package = package || SameNoCase(ExtractFileName(list[i].RelativePath), "descript.txt");
    }
    if (!package)
        return;
    if (!install) {
        findings.push_back("install.txtが収録されません。「type,ghost」と「directory,フォルダ名」を書いた"
                           "install.txtを基準フォルダに置き、処理ファイル名条件に加えてください。");
        return;
    }
    std::string value;
    if (!ReadGhostTextValue(install->FullPath, "type", value) || value.empty())
        findings.push_back(install->FileName +
                           "にtypeの行がありません。「type,ghost」のように書いてください。");
    if (!ReadGhostTextValue(install->FullPath, "directory", value) || value.empty())
        findings.push_back(install->FileName +
                           "にdirectoryの行がありません。「directory,フォルダ名」のように書いてください。");
}

} // namespace

bool ReadGhostTextValue(const std::string& path, const std::string& key, std::string& value) {
    std::string bytes;
    try {
        bytes = ReadFileBytes(path);
    } catch (const std::exception&) {
        return false;
    }
    bool utf8 = bytes.rfind("\xEF\xBB\xBF", 0) == 0;
    if (utf8)
        bytes.erase(0, 3);
    // Keys are ASCII, and ',' is never the second byte of a CP932 character, so lines split as bytes.
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string& line : SplitLines(bytes)) {
        size_t comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        pairs.emplace_back(lowerAscii(trimmed(line.substr(0, comma))), trimmed(line.substr(comma + 1)));
    }
    for (const auto& [k, v] : pairs)
        if (k == "charset" && lowerAscii(v) == "utf-8")
            utf8 = true;
    const std::string wanted = lowerAscii(key);
    for (const auto& [k, v] : pairs)
        if (k == wanted) {
            value = utf8 && IsValidUtf8(v) ? v : Cp932ToUtf8(v);
            return true;
        }
    return false;
}

std::string GhostHomeUrl(const std::string& baseFolder) {
    std::string url;
    ReadGhostTextValue(baseFolder + "ghost\\master\\descript.txt", "homeurl", url);
    return url;
}

std::vector<std::string> CheckRelease(const TUpdates2dau& list, ReleaseKind kind) {
    std::vector<std::string> findings;
    checkDeleteLines(list, findings);
    checkCaseTwins(list, findings);
    checkUnwanted(list, findings);
    if (kind == ReleaseKind::NetworkUpdate)
        checkHomeUrl(list, findings);
    else
        checkInstallTxt(list, findings);
    return findings;
}
