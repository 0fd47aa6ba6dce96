#pragma once

#include "Archiver.h"
#include "ArchiverOptions.h"
#include "ArchiverType.h"
#include "PackItems.h"

#include <functional>
#include <memory>
#include <string>

/// The archive component: an archive name, its archiver type (by extension or contents) and the pack
/// operation that collects the files and drives the format's library.
class TArchiveFile {
public:
    using ProgressEvent =
        std::function<void(TArchiveFile& sender, int state, void* extractingInfo, bool& abort)>;
    using EnumMemberEvent = std::function<void(TArchiveFile& sender, void* enumInfo, bool& abort)>;

    TArchiveFile() = default;
    ~TArchiveFile();
    TArchiveFile(const TArchiveFile&) = delete;
    TArchiveFile& operator=(const TArchiveFile&) = delete;

    const std::string& FileName() const { return fileName_; }
    /// Applies the type the extension selects, then stores the name (not stored when applying throws).
    void SetFileName(const std::string& name);
    TArchiverType ArchiverType() const { return type_; }
    /// A format's type makes a fresh archiver (loading its libraries; may throw); atAutoDetect keeps the
    /// archiver; atNone changes nothing; atGCA and atBel throw EArchiver.
    void SetArchiverType(TArchiverType type);
    int OutputSize() const { return static_cast<int>(output_.size()); }
    /// The output buffer handed to the library: n bytes, the first one NUL.
    void SetOutputSize(int n) { output_.assign(static_cast<size_t>(n > 0 ? n : 0), '\0'); }
    const std::string& Output() const { return output_; }
    TArchiver* Archiver() const { return archiver_.get(); }

    TArchiverOptions Options; ///< used when PackFiles is given no options
    ProgressEvent OnProgress;
    EnumMemberEvent OnEnumMember;
    std::string CommandLine; ///< the last command line built by a pack

    /// Packs the names of `files` under `baseDir` into FileName. Returns the library's result code (0 for
    /// success), 0 when no file was collected (the library is not called and no archive is touched), or
    /// 0x8020 when a progress handler aborted. Throws EArchiver "書庫の形式を判別できません。" when no format
    /// is known, and whatever collection or the library binding throws. `options` is never changed.
    int PackFiles(void* ownerWindow, const TArchiverOptions* options, const std::string& baseDir,
                  const PackItems& files);

    /// A progress message from the library for this component's window: calls the handlers; 1 to abort.
    int WindowMessage(int state, void* extractingInfo);
    /// A member the library enumerates: the archiver's hook, then OnEnumMember; false to stop.
    bool EnumMember(void* memberInfo);

private:
    int pack(void* ownerWindow, const TArchiverOptions& options, const std::string& baseDir,
             const PackItems& items);

    std::string fileName_ = NotSetMarker;
    TArchiverType type_ = atAutoDetect;
    std::unique_ptr<TArchiver> archiver_;
    std::string output_;
};
