#include "ZipCommand.h"

#include "ArchiverApi.h"
#include "platform/Cp932.h"
#include "platform/Cp932PathResolver.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TextLines.h"

namespace {

// True when the CP932 text's last character is a folder separator.
bool endsWithSeparator(const std::string& cp932) {
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
    throw ZipFailure(ERROR_COMMAND_NAME, "switch \"" + token +
                                             "\" is not supported by the built-in zip writer" +
                                             (why.empty() ? "" : ": " + why));
}

void applySwitch(const std::string& token, ZipCommand& c) {
    if (token.size() < 2)
        throw ZipFailure(ERROR_COMMAND_NAME, "empty switch \"-\"");
    if (token == "-FF")
        refuse(token, "it repairs an existing archive, and this writer only creates archives");
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
            refuse(token, "MS-DOS names would split CP932 names at a second byte 0x5C");
        else if (s == 'r')
            refuse(token, "members must name files");
        // -D and -X: this writer never writes folder entries or extra attributes; -S: every listed file
        // is packed; -q: it prints nothing unless asked to; -J: a fresh archive has nothing prepended.
        else if (s != 'D' && s != 'X' && s != 'S' && s != 'q' && s != 'J')
            refuse(token, "");
    }
}

void readResponseFile(const std::string& cp932Path, std::vector<std::string>& members) {
    Cp932PathResolver resolver;
    std::string native;
    if (!resolver.Resolve(cp932Path, native))
        throw ZipFailure(ERROR_FILE_OPEN, "cannot open the response file " + Cp932ToUtf8(cp932Path));
    std::string text;
    try {
        text = ReadFileBytes(native);
    } catch (const EQuillon& e) {
        throw ZipFailure(ERROR_FILE_OPEN, e.what());
    }
    for (std::string entry : SplitLines(text)) {
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
            entry = entry.substr(1, entry.size() - 2);
        if (!entry.empty())
            members.push_back(UnescapeZipName(entry));
    }
}

} // namespace

std::string UnescapeZipName(const std::string& name) {
    std::string out;
    size_t i = 0;
    if (name.compare(0, 3, "[-]") == 0 || name.compare(0, 3, "[@]") == 0) {
        out = name[1];
        i = 3;
    }
    for (; i < name.size(); ++i) {
        if (IsCp932LeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) {
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

ZipCommand ParseZipCommand(const std::string& line) {
    ZipCommand c;
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
                throw ZipFailure(ERROR_COMMAND_NAME, "unterminated quote in the command");
            quoted.push_back(line.substr(p + 1, close - p - 1));
            p = close + 1;
            continue;
        }
        size_t end = line.find(' ', p);
        std::string token = line.substr(p, end == std::string::npos ? std::string::npos : end - p);
        p = end == std::string::npos ? line.size() : end;
        if (token[0] != '-')
            throw ZipFailure(ERROR_COMMAND_NAME, "unexpected \"" + Cp932ToUtf8(token) + "\" in the command");
        applySwitch(token, c);
    }
    if (quoted.empty() || quoted[0].empty())
        throw ZipFailure(ERROR_COMMAND_NAME, "no archive name in the command");
    c.Archive = quoted[0];
    size_t next = 1;
    if (next < quoted.size() && endsWithSeparator(quoted[next]))
        c.BaseFolder = quoted[next++];
    // A member text never starts with "@": the name escape turns a leading "@" into "[@]".
    for (; next < quoted.size(); ++next) {
        const std::string& item = quoted[next];
        if (!item.empty() && item[0] == '@')
            readResponseFile(item.substr(1), c.Members);
        else if (!item.empty())
            c.Members.push_back(UnescapeZipName(item));
    }
    return c;
}
