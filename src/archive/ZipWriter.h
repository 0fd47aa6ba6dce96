#pragma once

#include "ZipCommand.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class TFile;

/// What the zip writer takes from its surroundings: how a member's bytes are read, how a compressing thread
/// starts, how a deflate stream is set up, and from what size a member gets zip64 fields. The system's by
/// default; a test puts in one that fails where the system offers no way to cause a failure.
class ZipWriterEnvironment {
public:
    virtual ~ZipWriterEnvironment() = default;
    /// Up to `n` bytes of the member named `member` (as in the archive) from `offset` of its open file;
    /// -1 on failure, with the system's error number in `error`.
    virtual int64_t ReadAt(TFile& file, const std::string& member, void* buffer, size_t n, int64_t offset,
                           int& error) const;
    /// Starts a compressing thread, the `started`-th (from 0); throws std::system_error when it cannot.
    virtual std::thread StartThread(size_t started, std::function<void()> work) const;
    /// Sets up the deflate stream (a z_stream) at `level`; zlib's result code.
    virtual int SetUpDeflate(void* stream, int level) const;
    /// Members of this size or more get zip64 fields.
    virtual uint64_t Zip64From() const;
};

/// Puts `environment` in place of the one in use (nullptr: the system's) and returns the one it replaced.
const ZipWriterEnvironment* SetZipWriterEnvironment(const ZipWriterEnvironment* environment);

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
