#include "ZipCommand.h"

#include "ArchiverApi.h"
#include "platform/Cp932.h"
#include "platform/Cp932PathResolver.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TextLines.h"

#include <cerrno>

namespace {

// True when the text's last character is a folder separator.
bool endsWithSeparator(const std::string& text, bool utf8) {
    if (utf8)
        return !text.empty() && (text.back() == '\\' || text.back() == '/');
    const std::string& cp932 = text;
    bool separator = false;
    for (size_t i = 0; i < cp932.size(); ++i) {
        if (IsCp932LeadByte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size()) {
            separator = false;
            ++i;
        } else {
            separator = cp932[i] == '\\' || cp932[i] == '/';
        }
    }
    return separator;
}

[[noreturn]] void refuse(const std::string& token, const std::string& why) {
    throw ZipFailure(ERROR_COMMAND_NAME, "スイッチ \"" + token + "\" は内蔵の ZIP 作成機能では使えません" +
                                             (why.empty() ? "。" : "：" + why));
}

void applySwitch(const std::string& token, ZipCommand& c) {
    if (token.size() < 2)
        throw ZipFailure(ERROR_COMMAND_NAME, "空のスイッチ \"-\" があります。");
    if (token == "-FF")
        refuse(token, "既存の書庫を修復するスイッチですが、この機能は書庫を新しく作るだけです。");
    for (size_t i = 1; i < token.size(); ++i) {
        char s = token[i];
        if (s >= '0' && s <= '9')
            c.Level = s - '0';
        else if (s == 'j')
            c.JunkPaths = true;
        else if (s == 'v')
            c.Verbose = true;
        else if (s == 'o')
            c.LatestTime = true;
        else if (s == 'u')
            c.Update = true;
        else if (s == 'k')
            refuse(token, "MS-DOS 形式の名前では、2バイト目が 0x5C の CP932 の名前が分断されます。");
        else if (s == 'r')
            refuse(token, "メンバーにはファイルを指定してください。");
        // -D and -X: this writer never writes folder entries or extra attributes; -S: every listed file
        // is packed; -q: it prints nothing unless asked to; -J: a fresh archive has nothing prepended.
        else if (s != 'D' && s != 'X' && s != 'S' && s != 'q' && s != 'J')
            refuse(token, "");
    }
}

// The response file holds CP932 names whatever the command's encoding.
void readResponseFile(const std::string& path, bool native, std::vector<std::string>& members) {
    Cp932PathResolver resolver;
    std::string file = path;
    const std::string shown = native ? path : Cp932ToUtf8(path);
    if (!native && !resolver.Resolve(path, file))
        throw ZipFailure(ERROR_FILE_OPEN,
                         "レスポンスファイル " + shown + " を開けません：" + FileErrorText(ENOENT));
    std::string text;
    try {
        text = ReadFileBytes(file);
    } catch (const EQuillon&) {
        throw ZipFailure(ERROR_FILE_OPEN, "レスポンスファイル " + shown + " を開けません：" +
                                              FileErrorText(errno ? errno : EIO));
    }
    for (std::string entry : SplitLines(text)) {
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
            entry = entry.substr(1, entry.size() - 2);
        if (!entry.empty())
            members.push_back(UnescapeZipName(entry));
    }
}

// The member name of a UTF-8 text of the command, as CP932 bytes.
std::string memberFromUtf8(const std::string& text) {
    std::string name = UnescapeZipName(text, true), cp932;
    if (!TryUtf8ToCp932(name, cp932))
        throw ZipFailure(ERROR_FILE_OPEN, name + " のファイル名はCP932で表せないため、処理できません。");
    return cp932;
}

} // namespace

std::string FileErrorText(int code) {
    switch (code) {
    case ENOENT:
        return "ファイルが見つかりません。";
    case ENOTDIR:
        return "パスが見つかりません。";
    case EISDIR:
        return "フォルダーです。";
    case EMFILE:
    case ENFILE:
        return "開いているファイルが多すぎます。";
    case EACCES:
    case EPERM:
    case EROFS:
        return "アクセスが拒否されました。";
    case ENOSPC:
        return "ディスクの空き容量が足りません。";
    case EFBIG:
        return "ファイルが大きすぎます。";
    case ENAMETOOLONG:
        return "ファイル名が長すぎます。";
    case EIO:
        return "入出力エラーが発生しました。";
    default:
        return "入出力エラー " + std::to_string(code) + " が発生しました。";
    }
}

std::string UnescapeZipName(const std::string& name, bool utf8) {
    std::string out;
    size_t i = 0;
    if (name.compare(0, 3, "[-]") == 0 || name.compare(0, 3, "[@]") == 0) {
        out = name[1];
        i = 3;
    }
    for (; i < name.size(); ++i) {
        if (!utf8 && IsCp932LeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) {
            out += name[i];
            out += name[++i];
        } else if (name.compare(i, 3, "[[]") == 0) {
            out += '[';
            i += 2;
        } else {
            out += name[i] == '\\' ? '/' : name[i];
        }
    }
    return out;
}

ZipCommand ParseZipCommand(const std::string& line, bool utf8) {
    ZipCommand c;
    c.NativeFolders = utf8;
    auto shown = [utf8](const std::string& text) { return utf8 ? text : Cp932ToUtf8(text); };
    std::vector<std::string> quoted;
    size_t p = 0;
    while (p < line.size()) {
        if (line[p] == ' ') {
            ++p;
            continue;
        }
        if (line[p] == '"') {
            size_t close = line.find('"', p + 1);
            if (close == std::string::npos)
                throw ZipFailure(ERROR_COMMAND_NAME, "コマンドの引用符が閉じていません。");
            quoted.push_back(line.substr(p + 1, close - p - 1));
            p = close + 1;
            continue;
        }
        size_t end = line.find(' ', p);
        std::string token = line.substr(p, end == std::string::npos ? std::string::npos : end - p);
        p = end == std::string::npos ? line.size() : end;
        if (token[0] != '-')
            throw ZipFailure(ERROR_COMMAND_NAME, "コマンドの \"" + shown(token) + "\" を解釈できません。");
        applySwitch(token, c);
    }
    if (quoted.empty() || quoted[0].empty())
        throw ZipFailure(ERROR_COMMAND_NAME, "コマンドに書庫の名前がありません。");
    c.Archive = quoted[0];
    size_t next = 1;
    if (next < quoted.size() && endsWithSeparator(quoted[next], utf8))
        c.BaseFolder = quoted[next++];
    // A member text never starts with "@": the name escape turns a leading "@" into "[@]".
    for (; next < quoted.size(); ++next) {
        const std::string& item = quoted[next];
        if (!item.empty() && item[0] == '@')
            readResponseFile(item.substr(1), utf8, c.Members);
        else if (!item.empty())
            c.Members.push_back(utf8 ? memberFromUtf8(item) : UnescapeZipName(item));
    }
    return c;
}
