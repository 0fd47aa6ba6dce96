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
    if (!text_.empty() && text_.back() != '\n')
        text_ += "\r\n";
    text_ += line;
    text_ += "\r\n";
    changed();
}

void LogDocument::SetText(const std::string& text) {
    text_ = text;
    changed();
}

void LogDocument::changed() {
    if (!SaveFlag)
        return;
    CreateDir(ExtractFilePath(path_)); // an existing folder is fine
    try {
        // Typed text may hold characters without a Shift_JIS form; they become '?' rather than lose the log.
        WriteFileBytes(path_, Utf8ToCp932Lossy(text_));
    } catch (const std::exception&) {
        Prompts().ErrorBox("ファイル " + path_ + " を作成できません");
    }
}
