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
    /// Removes and frees the entry at `index`.
    void Delete(size_t index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index)); }
    void Clear() { items_.clear(); }

    /// The bytes of the file (CP932): GetLine of every entry, each followed by CR LF.
    std::string GetText() const;
    /// Replaces the entries by the lines of `text` (CP932 bytes). On a bad line throws EQuillon; the
    /// entries of the lines before it stay.
    void SetText(const std::string& text);
    /// Reads a file through SetText. Throws EFileError when it cannot be read (entries unchanged).
    void LoadFromFile(const std::string& path);
    /// Writes GetText, creating or replacing the file. Throws EEncodingError naming the first file whose
    /// name has no CP932 form (nothing is written then), or EFileError.
    void SaveToFile(const std::string& path) const;
    /// The first entry whose name equals `cp932Name` byte for byte (`FileNameCp932`: case-sensitive, '/'
    /// as written), or nullptr.
    TElementFile* FindByName(const std::string& cp932Name) const;
    /// The RelativePath of every entry, each followed by CR LF.
    std::string GetFileListText() const;
    /// The first entry whose name has no CP932 form, or nullptr.
    const TElementFile* FirstUnencodableName() const;
    /// The first two entries of different files whose names have the same CP932 form (U+301C and U+FF5E
    /// both give 81 60), or false. Such files cannot be told apart in updates2.dau, on the server or in an
    /// archive.
    bool FindNameCollision(const TElementFile*& first, const TElementFile*& second) const;

    /// Selects the files of the include patterns under BaseFolder, less the exclusion lines, digests each
    /// into an entry (pumping messages once before each), and runs the delete-list check. Returns the
    /// check's result. Throws when delete.txt was selected but cannot be read, and ECancelled when the
    /// user cancelled the run.
    bool Build(const std::string& processName, const std::string& excludeName);

private:
    /// Warns about delete.txt lines that name distributed files; false when there are any.
    bool CheckDeleteList();

    std::vector<std::unique_ptr<TElementFile>> items_;
};
