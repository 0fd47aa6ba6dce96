#include "LogDocument.h"

#include "platform/Cp932.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/UserPrompts.h"

#include <cstdio>

LogDocument::LogDocument(const std::string& programFolder, const std::tm& created) {
    char name[64];
    std::snprintf(name, sizeof name, "log%.4d%.2d%.2d%.2d%.2d%.2d.log", created.tm_year + 1900,
                  created.tm_mon + 1, created.tm_mday, created.tm_hour, created.tm_min, created.tm_sec);
    path_ = IncludeTrailingPathDelimiter(programFolder) + "log" + NativeDelimiter + name;
}

void LogDocument::Add(const std::string& line) {
    std::string added;
    if (!text_.empty() && text_.back() != '\n')
        added += "\r\n";
    added += line;
    added += "\r\n";
    text_ += added;
    changed(&added);
}

void LogDocument::SetText(const std::string& text) {
    text_ = text;
    changed(nullptr);
}

void LogDocument::changed(const std::string* added) {
    if (!SaveFlag) {
        fileCurrent_ = false;
        return;
    }
    // Typed text may hold characters without a Shift_JIS form; they become '?' rather than lose the log.
    // Lines end at characters, so the new end encodes as the end of the whole text does.
    if (fileCurrent_ && added && AppendFileBytes(path_, Utf8ToCp932Lossy(*added)))
        return;
    fileCurrent_ = false;
    CreateDir(ExtractFilePath(path_)); // an existing folder is fine
    try {
        WriteFileBytes(path_, Utf8ToCp932Lossy(text_));
        fileCurrent_ = true;
    } catch (const std::exception&) {
        Prompts().ErrorBox("ファイル " + path_ + " を作成できません");
    }
}
