#pragma once

#include "archive/ZipWriter.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <zlib.h>

/// The zip writer's surroundings failing where a test says (reading a member after some of its bytes,
/// starting compressing threads beyond a number, setting up deflate) and zip64 from a size of the test's;
/// in place of the system's for its lifetime.
class FailingZipEnvironment : public ZipWriterEnvironment {
public:
    FailingZipEnvironment() : previous_(SetZipWriterEnvironment(this)) {}
    ~FailingZipEnvironment() override { SetZipWriterEnvironment(previous_); }
    FailingZipEnvironment(const FailingZipEnvironment&) = delete;
    FailingZipEnvironment& operator=(const FailingZipEnvironment&) = delete;

    std::string ReadFailsFor;      ///< member (as named in the archive) whose reading fails ...
    uint64_t ReadFailsAfter = 0;   ///< ... once this many of its bytes were read
    int ThreadsThatStart = -1;     ///< when not -1: starting a compressing thread beyond this many fails
    bool DeflateInitFails = false; ///< the deflate stream cannot be set up
    uint64_t Zip64Size = 0;        ///< when not 0: members of this size or more get zip64 fields

    int64_t ReadAt(TFile& file, const std::string& member, void* buffer, size_t n, int64_t offset,
                   int& error) const override {
        int64_t got = ZipWriterEnvironment::ReadAt(file, member, buffer, n, offset, error);
        if (got > 0 && !ReadFailsFor.empty() && member == ReadFailsFor &&
            static_cast<uint64_t>(offset + got) > ReadFailsAfter) {
            error = EIO;
            return -1;
        }
        return got;
    }
    std::thread StartThread(size_t started, std::function<void()> work) const override {
        if (ThreadsThatStart >= 0 && started >= static_cast<size_t>(ThreadsThatStart))
            throw std::system_error(EAGAIN, std::generic_category(), "thread");
        return ZipWriterEnvironment::StartThread(started, std::move(work));
    }
    int SetUpDeflate(void* stream, int level) const override {
        return DeflateInitFails ? Z_MEM_ERROR : ZipWriterEnvironment::SetUpDeflate(stream, level);
    }
    uint64_t Zip64From() const override { return Zip64Size ? Zip64Size : ZipWriterEnvironment::Zip64From(); }

private:
    const ZipWriterEnvironment* previous_;
};
