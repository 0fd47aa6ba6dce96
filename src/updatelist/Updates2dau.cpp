#include "Updates2dau.h"

#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TextLines.h"

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
    SetText(Cp932ToUtf8(ReadFileBytes(path)));
}

void TUpdates2dau::CheckNamesEncodable() const {
    for (const auto& entry : items_)
        if (!IsCp932Representable(entry->FileName))
            throw EEncodingError("The file name " + entry->FileName +
                                 " cannot be written in Shift_JIS (CP932); rename the file");
}

void TUpdates2dau::SaveToFile(const std::string& path) const {
    CheckNamesEncodable();
    WriteFileBytes(path, Utf8ToCp932(GetText()));
}

TElementFile* TUpdates2dau::FindByName(const std::string& name) const {
    for (const auto& entry : items_)
        if (entry->FileName == name)
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
