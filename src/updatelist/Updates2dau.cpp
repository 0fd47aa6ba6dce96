#include "Updates2dau.h"

#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TextLines.h"

#include <unordered_map>

TElementFile& TUpdates2dau::Add(std::unique_ptr<TElementFile> entry) {
    items_.push_back(std::move(entry));
    return *items_.back();
}

std::string TUpdates2dau::GetText() const {
    std::string text;
    for (const auto& entry : items_) {
        text += entry->GetLine();
        text += "\r\n";
    }
    return text;
}

void TUpdates2dau::SetText(const std::string& text) {
    std::vector<std::string> lines = SplitLines(text);
    items_.clear();
    for (const std::string& line : lines) {
        auto entry = std::make_unique<TElementFile>();
        entry->SetLine(line);
        items_.push_back(std::move(entry));
    }
}

void TUpdates2dau::LoadFromFile(const std::string& path) {
    SetText(ReadFileBytes(path));
}

const TElementFile* TUpdates2dau::FirstUnencodableName() const {
    for (const auto& entry : items_)
        if (entry->FileNameCp932.empty())
            return entry.get();
    return nullptr;
}

bool TUpdates2dau::FindNameCollision(const TElementFile*& first, const TElementFile*& second) const {
    std::unordered_map<std::string, const TElementFile*> seen;
    for (const auto& entry : items_) {
        auto [it, added] = seen.emplace(entry->FileNameCp932, entry.get());
        // The same file selected twice is no collision: it is the same name for the same bytes.
        if (!added && it->second->FileName != entry->FileName) {
            first = it->second;
            second = entry.get();
            return true;
        }
    }
    return false;
}

void TUpdates2dau::SaveToFile(const std::string& path) const {
    if (const TElementFile* bad = FirstUnencodableName())
        throw EEncodingError("ファイル名 " + bad->FileName +
                             " はShift_JIS(CP932)で書けません。ファイル名を変えてください。");
    WriteFileBytes(path, GetText());
}

TElementFile* TUpdates2dau::FindByName(const std::string& cp932Name) const {
    for (const auto& entry : items_)
        if (entry->FileNameCp932 == cp932Name)
            return entry.get();
    return nullptr;
}

std::string TUpdates2dau::GetFileListText() const {
    std::string text;
    for (const auto& entry : items_) {
        text += entry->RelativePath;
        text += "\r\n";
    }
    return text;
}
