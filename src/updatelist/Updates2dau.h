#pragma once

#include "ElementFile.h"

#include <memory>
#include <string>
#include <vector>

/// The update list: the ordered entries of updates2.dau. Owns its entries.
class TUpdates2dau {
public:
    std::string BaseFolder;  ///< set by the caller before Build
    std::string ProblemText; ///< warnings of the last delete-list check, each followed by CR LF

    size_t Count() const { return items_.size(); }
    TElementFile& operator[](size_t index) const { return *items_[index]; }
    /// Appends an entry and returns it.
    TElementFile& Add(std::unique_ptr<TElementFile> entry);
    void Clear() { items_.clear(); }

    /// The text of the file (UTF-8 in memory): GetLine of every entry, each followed by CR LF.
    std::string GetText() const;
    /// Replaces the entries by the lines of `text`. On a bad line throws EQuillon; the entries of the lines
    /// before it stay.
    void SetText(const std::string& text);
    /// Reads a CP932 file through SetText. Throws EFileError when it cannot be read (entries unchanged).
    void LoadFromFile(const std::string& path);
    /// Writes GetText as CP932, creating or replacing the file. Throws EEncodingError naming the first file
    /// whose name CP932 cannot hold (nothing is written then), or EFileError.
    void SaveToFile(const std::string& path) const;
    /// The first entry whose FileName equals `name` byte for byte, or nullptr.
    TElementFile* FindByName(const std::string& name) const;
    /// The RelativePath of every entry, each followed by CR LF.
    std::string GetFileListText() const;
    /// Throws EEncodingError naming the first entry whose name CP932 cannot hold.
    void CheckNamesEncodable() const;

    /// Selects the files of the include patterns under BaseFolder, less the exclusion lines, digests each
    /// into an entry (pumping messages once before each), and runs the delete-list check. Returns the
    /// check's result. Throws when delete.txt was selected but cannot be read.
    bool Build(const std::string& processName, const std::string& excludeName);

private:
    /// Warns about delete.txt lines that name distributed files; false when there are any.
    bool CheckDeleteList();

    std::vector<std::unique_ptr<TElementFile>> items_;
};
