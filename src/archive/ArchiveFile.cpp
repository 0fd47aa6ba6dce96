#include "ArchiveFile.h"

#include "ArchiverApi.h"
#include "ArchiverErrors.h"
#include "CollectFiles.h"
#include "platform/FileSystem.h"

namespace {

// The component whose pack is running: the member callback has no other way to find it.
TArchiveFile* currentComponent = nullptr;

extern "C" int memberCallback(void* memberInfo) {
    return currentComponent && !currentComponent->EnumMember(memberInfo) ? 0 : -1;
}

constexpr uint32_t EnumMemberRecordSize = 1094;

} // namespace

int ArchiverWindowMessage(void* window, int state, void* extractingInfo) {
    return window ? static_cast<TArchiveFile*>(window)->WindowMessage(state, extractingInfo) : 0;
}

TArchiveFile::~TArchiveFile() {
    if (currentComponent == this)
        currentComponent = nullptr;
}

void TArchiveFile::SetFileName(const std::string& name) {
    SetArchiverType(DetectByExtension(name));
    fileName_ = name;
}

void TArchiveFile::SetArchiverType(TArchiverType type) {
    switch (type) {
    case atAutoDetect:
        type_ = type;
        return;
    case atNone:
        return;
    case atGCA:
    case atBel:
        throw EArchiver("書庫の形式を特定できませんでした。");
    default:
        archiver_ = CreateArchiver(type); // may throw; the old archiver and type then stay
        type_ = type;
    }
}

int TArchiveFile::WindowMessage(int state, void* extractingInfo) {
    bool abort = false;
    if (OnProgress)
        OnProgress(*this, state, extractingInfo, abort);
    return abort ? 1 : 0;
}

bool TArchiveFile::EnumMember(void* memberInfo) {
    bool abort = false;
    if (archiver_)
        archiver_->EnumMemberHook(memberInfo, Options, abort);
    if (!abort && OnEnumMember)
        OnEnumMember(*this, memberInfo, abort);
    return !abort;
}

int TArchiveFile::PackFiles(void* ownerWindow, const TArchiverOptions* options, const std::string& baseDir,
                            const PackItems& files) {
    if (type_ == atAutoDetect)
        SetArchiverType(DetectByContent(fileName_));
    if (!archiver_)
        throw EArchiver("書庫の形式を判別できません。");
    const TArchiverOptions& o = options ? *options : Options;
    archiver_->CheckDLL();
    if (o.PackFilter == pfArchiver)
        return pack(ownerWindow, o, baseDir, files);

    TArchiverOptions working;
    working.Assign(o);
    std::vector<std::string> temporaries;
    struct RemoveTemporaries {
        std::vector<std::string>& files;
        ~RemoveTemporaries() {
            for (const std::string& f : files)
                RemoveFile(f);
        }
    } cleanup{temporaries};

    bool abort = false;
    CollectProgress progress = [this](int state, void* info, bool& stop) {
        if (OnProgress)
            OnProgress(*this, state, info, stop);
    };
    std::vector<std::string> names = CollectFiles(temporaries, working, baseDir, progress, files, abort);
    if (abort)
        return ERROR_USER_CANCEL;
    if (names.empty()) {
        if (!output_.empty())
            output_[0] = '\0';
        return 0;
    }
    working.jx.clear();
    return pack(ownerWindow, working, baseDir, PackItems{names});
}

int TArchiveFile::pack(void* ownerWindow, const TArchiverOptions& options, const std::string& baseDir,
                       const PackItems& items) {
    const bool enumHooks = OnEnumMember || options.IncludeExtraStreams;
    const bool progressHooks = static_cast<bool>(OnProgress);
    // The library reports progress to this component through its "window" (the component itself).
    void* window = this;
    struct HooksOff {
        TArchiveFile& self;
        bool enumHooks, progressHooks;
        void* window;
        ~HooksOff() {
            if (enumHooks) {
                currentComponent = nullptr;
                try {
                    self.archiver_->ClearEnumMembersProc();
                } catch (const std::exception&) {
                }
            }
            if (progressHooks) {
                try {
                    self.archiver_->KillOwnerWindow(window);
                } catch (const std::exception&) {
                }
            }
        }
    } hooksOff{*this, enumHooks, progressHooks, window};

    if (enumHooks) {
        currentComponent = this;
        archiver_->SetEnumMembersProc(reinterpret_cast<void*>(&memberCallback), EnumMemberRecordSize);
    }
    if (progressHooks) {
        try {
            archiver_->SetOwnerWindow(window, nullptr);
        } catch (const std::exception&) {
        }
    }
    return archiver_->Pack(ownerWindow, fileName_, options, baseDir, items,
                           (options.ResFileUsage & ruOnPack) != 0, CommandLine, output_);
}
