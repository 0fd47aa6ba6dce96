#pragma once

#include <string>

enum TArchiverType {
    atLha,
    atZip,
    atCab,
    atArj,
    atTar,
    atTgz,
    atBZ2,
    atRar,
    atBga,
    atYz1,
    atGCA,
    atBel,
    at7z,
    atNone,
    atAutoDetect
};

/// The type an archive name's extension selects (".exe": by contents); atNone for anything else.
TArchiverType DetectByExtension(const std::string& fileName);

/// The type the file's contents show, asking each format's library in turn (the last that answers yes
/// wins, LHA outranking all); atNone when none does. A missing library counts as a no. Never throws.
TArchiverType DetectByContent(const std::string& fileName);
