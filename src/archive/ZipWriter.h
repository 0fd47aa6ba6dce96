#pragma once

#include "ZipCommand.h"

#include <cstdint>
#include <string>

/// Faults the tests inject into the zip writer where the system offers no way to cause them.
struct ZipWriterFaults {
    int ThreadsThatStart = -1;     ///< when not -1: starting a compressing thread beyond this many fails
    bool DeflateInitFails = false; ///< the deflate stream cannot be set up
    std::string ReadFailsFor;      ///< member (as named in the archive) whose reading fails ...
    uint64_t ReadFailsAfter = 0;   ///< ... once this many of its bytes were read
    uint64_t Zip64From = 0;        ///< when not 0: members of this size or more get zip64 fields
};
/// The faults in force (none by default); tests set and clear them.
ZipWriterFaults& ZipWriterFaultsForTests();

/// True when `name` is what the writer names its temporary for an archive named `archiveName` (the
/// archive's name, a dot, 8 hex digits, ".tmp"), both in the same folder.
bool IsZipWriterTemporary(const std::string& archiveName, const std::string& name);
/// Deletes the temporaries of packs of `archive` (a native path) that were killed: those no running pack
/// holds.
void RemoveStaleZipTemporaries(const std::string& archive);

/// Writes the fresh archive a create command asks for. Members are deflated on every core, ahead of the
/// writing but within a bounded amount of memory, and in the archive's order; a member whose blocks
/// spread over the file do not shrink is stored as it is, read once. Names go in as their CP932 bytes without
/// the UTF-8 flag, with no extra fields except the zip64 ones a member of 4 GiB or more needs. The archive is
/// written under a temporary name in its own folder and takes its name only when complete, so a failure never
/// leaves a partial archive behind.
class ZipWriter {
public:
    explicit ZipWriter(ZipCommand command) : command_(std::move(command)) {}

    /// Writes the archive; returns the text for the caller's output buffer (CP932: the member list when
    /// -v was given, else empty). Throws ZipFailure.
    std::string Write();

private:
    ZipCommand command_;
};
