#pragma once

#include "platform/Errors.h"

#include <string>

/// A failure of the archiver layer.
class EArchiver : public EQuillon {
public:
    using EQuillon::EQuillon;
};

/// A format's library could not be loaded.
class ENoArchiverDLL : public EArchiver {
public:
    using EArchiver::EArchiver;
};

/// A required entry is missing from a loaded library.
class EEntryNotFound : public EArchiver {
public:
    using EArchiver::EArchiver;
};

/// A file needed to make a self-extracting archive is missing.
class ESfxNoRequiredFile : public EArchiver {
public:
    ESfxNoRequiredFile(std::string archiveKind, std::string sfxKind, std::string file)
        : EArchiver(archiveKind + " 書庫からの" + sfxKind + "自己解凍書庫の作成には '" + file +
                    "' ファイルが必要です。"),
          ArchiveKind(std::move(archiveKind)), SfxKind(std::move(sfxKind)), File(std::move(file)) {}
    std::string ArchiveKind, SfxKind, File;
};
