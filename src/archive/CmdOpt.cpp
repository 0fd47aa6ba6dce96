#include "CmdOpt.h"

#include "ArchiverOptions.h"
#include "platform/Cp932.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

void TCmdOpt::AddOption(const std::string& option) {
    Text += ' ';
    Text += option;
}

void TCmdOpt::AddQuoted(const std::string& sw, const std::string& value) {
    if (IsNotSet(value))
        return;
    if (sw.empty()) {
        AddOption("\"" + value + "\"");
        return;
    }
    std::string s = sw[0] == ' ' ? sw.substr(1) : "-" + sw;
    AddOption(QuotingStyle ? s + " \"" + value + "\"" : "\"" + s + value + "\"");
}

void TCmdOpt::AddNumber(const std::string& sw, int n) {
    if (n >= 0)
        AddOption("-" + sw + std::to_string(n));
}

void TCmdOpt::AddFlag(const std::string& sw, bool on) {
    if (on)
        AddOption("-" + sw);
}

void TCmdOpt::AddDir(const std::string& sw, const std::string& folder) {
    if (folder.empty() || IsNotSet(folder))
        return;
    // In UTF-8 a trailing separator byte is always the character itself (no double-byte second byte).
    AddQuoted(sw, IsPathDelimiter(folder.back()) && folder.back() != ':' ? folder : folder + NativeDelimiter);
}

void TCmdOpt::AddFile(const std::string& sw, const std::string& name) {
    AddQuoted(sw, escaped(name));
}

int TCmdOpt::AddFiles(const std::string& sw, const PackItems& items) {
    std::vector<std::string> names = FlattenItems(items, true);
    for (const std::string& name : names)
        AddFile(sw, name);
    return static_cast<int>(names.size());
}

int TCmdOpt::AddResponseFile(const PackItems& items, const std::string& file) {
    std::vector<std::string> names = FlattenItems(items, true);
    std::string text;
    for (const std::string& name : names)
        text += "\"" + escaped(name) + "\"\r\n";
    WriteFileBytes(file, Utf8ToCp932(text));
    AddQuoted("", "@" + file);
    return static_cast<int>(names.size());
}
