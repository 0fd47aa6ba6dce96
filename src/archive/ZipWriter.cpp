#include "ZipWriter.h"

#include "ArchiverApi.h"
#include "platform/Cp932.h"
#include "platform/Cp932PathResolver.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "platform/UserPrompts.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <libdeflate.h>
#include <memory>
#include <minizip/zip.h>
#include <mutex>
#include <optional>
#include <random>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>
#include <zlib.h>

namespace {

// Reading goes in chunks of this size; the first chunk of a stored member is read by its compressing
// thread and handed on, the rest by the writer.
constexpr size_t ReadChunk = 256u << 10;
// Whether deflating a member is worth it is decided from blocks spread over the whole file (its head
// alone would store a text that starts with a picture): together they must shrink by 1% at a fast
// level, or the member is stored. Up to ProbeBlocks blocks, of ProbeBytes each.
constexpr size_t ProbeBytes = 4u << 10;
constexpr size_t ProbeBlocks = 8;
constexpr size_t OutChunk = 128u << 10;
// Deflated data of a member that the writer has not reached waits in memory up to this much; then its
// thread waits too. The writer streams a member of that size while it is still being deflated.
constexpr uint64_t MemberCap = 4u << 20;
// No new member is started while this much data waits for the writer, nor further ahead than Window.
constexpr uint64_t Budget = 16u << 20;
constexpr size_t Window = 64;
// A member this large gets zip64 fields, decided before its data is written (with a margin for a file
// that grows a little while it is read).
constexpr uint64_t SystemZip64From = 0xFF000000u;
// The zip64 form of a local header whose sizes turned out to fit 32 bits: they are moved into its zip64
// field (the 32-bit ones then read 0xFFFFFFFF), so that the field minizip reserved agrees with them.
constexpr uint32_t NoSize32 = 0xFFFFFFFFu;

struct Member {
    // Known before the compressing starts.
    std::string name;    // in the archive, CP932
    std::string path;    // local
    std::string display; // for messages
    uint64_t statSize = 0;
    std::time_t time = 0; // modification time rounded up to the even second
    uint32_t dosTime = 0;
    unsigned mode = 0;
    bool sparse = false; // has holes: fewer blocks than its size needs
    // Guarded by the pipeline's mutex.
    bool stored = false;    // decided: stored, from `head` and then `file`
    bool deflating = false; // decided: deflated, its data arriving in `chunks`
    bool finished = false;  // everything the writer needs is there (the chunks may still be arriving)
    bool committed = false; // the writer has begun the member as deflated
    std::deque<std::string> chunks;
    uint64_t buffered = 0; // bytes of `chunks` and `head`
    std::string head;
    TFile file; // the rest of a stored member, still to be read
    uint32_t crc = 0;
    uint64_t size = 0, compressed = 0;
};

struct Aborted {}; // unwinds a compressing thread once the pack has failed elsewhere

const ZipWriterEnvironment systemEnvironment;
std::atomic<const ZipWriterEnvironment*> environment{&systemEnvironment};

const ZipWriterEnvironment& env() {
    return *environment.load();
}

// Reads up to `want` bytes of the member's file from `offset`, fewer only at its end, and moves `offset`
// past them. Throws ZipFailure.
size_t readMember(const Member& m, TFile& file, char* buffer, size_t want, uint64_t& offset) {
    size_t got = 0;
    while (got < want) {
        const uint64_t at = offset + got;
        if (m.sparse) {
            // A hole reads as zeros without reading it, which would fill the page cache with them.
            const int64_t data = file.NextData(static_cast<int64_t>(at));
            if (data > static_cast<int64_t>(at)) {
                size_t n =
                    static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(data) - at, want - got));
                std::memset(buffer + got, 0, n);
                got += n;
                continue;
            }
        }
        int error = 0;
        int64_t n = env().ReadAt(file, m.name, buffer + got, want - got, static_cast<int64_t>(at), error);
        if (n < 0)
            throw ZipFailure(ERROR_FILE_OPEN, m.display + " を読み込めません：" + FileErrorText(error));
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    offset += got;
    return got;
}

bool allZero(const char* data, size_t n) {
    static const char zeros[4096] = {};
    for (size_t at = 0; at < n; at += sizeof zeros)
        if (std::memcmp(data + at, zeros, std::min(sizeof zeros, n - at)) != 0)
            return false;
    return true;
}

// The deflate state of one thread, kept from member to member.
class Compressor {
public:
    explicit Compressor(int level) : in(ReadChunk), level_(level) {
        if (level == 0)
            return;
        int rc = env().SetUpDeflate(&z, level);
        if (rc != Z_OK)
            throw ZipFailure(ERROR_CANNOT_WRITE,
                             std::string("圧縮の準備ができません：") +
                                 (rc == Z_MEM_ERROR ? "メモリが足りません。"
                                                    : "zlib のエラー " + std::to_string(rc) + "。"));
        ready_ = true;
        probe_ = libdeflate_alloc_compressor(1);
        if (!probe_)
            throw ZipFailure(ERROR_CANNOT_WRITE, "圧縮の準備ができません：メモリが足りません。");
        probeOut_.resize(ProbeBytes);
        probeIn_.resize(ProbeBytes);
    }
    ~Compressor() {
        if (ready_)
            deflateEnd(&z);
        if (probe_)
            libdeflate_free_compressor(probe_);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    // Whether deflating is worth it for a member whose first `n` bytes are in `in` (all of it when `n` is
    // less than the chunk), judged from blocks spread over the file of `size` bytes.
    bool Shrinks(TFile& file, size_t n, uint64_t size) {
        const bool whole = n < in.size();
        const uint64_t span = whole ? n : std::max<uint64_t>(size, n);
        const size_t blocks = span <= ProbeBytes ? 1
                              : whole            ? std::min<size_t>(ProbeBlocks / 2, span / ProbeBytes)
                                                 : ProbeBlocks;
        size_t parts = 0, packed = 0;
        for (size_t b = 0; b < blocks; ++b) {
            const uint64_t at = blocks == 1 ? 0 : (span - ProbeBytes) * b / (blocks - 1);
            const char* data;
            size_t part;
            if (at + ProbeBytes <= n || whole) {
                data = in.data() + at;
                part = static_cast<size_t>(std::min<uint64_t>(ProbeBytes, n - at));
            } else {
                int64_t got = file.ReadAt(probeIn_.data(), ProbeBytes, static_cast<int64_t>(at));
                if (got <= 0)
                    continue; // the file shrank: what is there decides
                data = probeIn_.data();
                part = static_cast<size_t>(got);
            }
            // Room for 99% of the block: no room is enough when it does not shrink by 1%.
            size_t r = libdeflate_deflate_compress(probe_, data, part, probeOut_.data(), part - part / 100);
            parts += part;
            packed += r ? r : part;
            // Settled when the blocks left, even stored whole, cannot undo the gain.
            const size_t left = (blocks - 1 - b) * ProbeBytes;
            if (packed + left < (parts + left) - (parts + left) / 100)
                return true;
        }
        return parts > 0 && packed < parts - parts / 100;
    }
    // A new member, with the output going to next_out/avail_out already set.
    void Begin() {
        deflateReset(&z);
        if (strategy_ != Z_DEFAULT_STRATEGY && deflateParams(&z, level_, Z_DEFAULT_STRATEGY) == Z_OK)
            strategy_ = Z_DEFAULT_STRATEGY;
    }
    // Runs of zeros (sparse files, padding) are deflated as runs: as small, several times as fast.
    template <typename Full> void UseStrategy(int strategy, Full&& outputFull) {
        if (strategy == strategy_)
            return;
        // What came before is finished with the old strategy first.
        for (;;) {
            deflate(&z, Z_BLOCK);
            if (z.avail_out != 0)
                break;
            outputFull();
        }
        if (deflateParams(&z, level_, strategy) == Z_OK)
            strategy_ = strategy;
    }

    z_stream z{};
    std::vector<char> in;

private:
    int level_;
    bool ready_ = false;
    int strategy_ = Z_DEFAULT_STRATEGY;
    libdeflate_compressor* probe_ = nullptr;
    std::vector<char> probeOut_, probeIn_;
};

// The archive under construction: a temporary file in the target's folder, written through minizip,
// which takes the name bytes and flags as they are given and entries that are already deflated.
class ArchiveOutput {
public:
    explicit ArchiveOutput(const std::string& target) : target_(target) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; !file_.IsOpen(); ++attempt) {
            unsigned long long tag =
                (static_cast<unsigned long long>(std::random_device()()) << 32) ^
                static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                (static_cast<unsigned long long>(counter++) << 48);
            char suffix[32];
            std::snprintf(suffix, sizeof suffix, ".%08llx.tmp", tag & 0xFFFFFFFFull);
            temp_ = target + suffix;
            if (!file_.Open(temp_, FileAccess::ReadWriteNew) && (file_.Error() != EEXIST || attempt > 100))
                throw ZipFailure(ERROR_CANNOT_WRITE,
                                 target_ + " を作成できません：" + FileErrorText(file_.Error()));
        }
        // Held while the file lives: a later pack takes only temporaries nobody holds for stale.
        file_.TryLock();
        zlib_filefunc64_def io{};
        io.zopen64_file = [](voidpf, const void* self, int) -> voidpf { return const_cast<void*>(self); };
        io.zread_file = [](voidpf, voidpf, void*, uLong) -> uLong { return 0; };
        io.zwrite_file = [](voidpf self, voidpf, const void* data, uLong size) -> uLong {
            return static_cast<ArchiveOutput*>(self)->write(data, size);
        };
        io.ztell64_file = [](voidpf self, voidpf) -> ZPOS64_T {
            return static_cast<ArchiveOutput*>(self)->pos_;
        };
        io.zseek64_file = [](voidpf self, voidpf, ZPOS64_T offset, int origin) -> long {
            return static_cast<ArchiveOutput*>(self)->seek(offset, origin);
        };
        io.zclose_file = [](voidpf, voidpf) -> int { return 0; }; // closed and checked by Commit
        io.zerror_file = [](voidpf self, voidpf) -> int { return static_cast<ArchiveOutput*>(self)->error_; };
        io.opaque = this;
        zip_ = zipOpen2_64(this, APPEND_STATUS_CREATE, nullptr, &io);
        if (!zip_) {
            file_.Close();
            DeleteFilePath(temp_);
            throw ZipFailure(ERROR_CANNOT_WRITE, target_ + " を作成できません。");
        }
    }
    ~ArchiveOutput() {
        if (zip_)
            zipClose(zip_, nullptr);
        file_.Close();
        if (!committed_)
            DeleteFilePath(temp_);
    }
    ArchiveOutput(const ArchiveOutput&) = delete;
    ArchiveOutput& operator=(const ArchiveOutput&) = delete;

    bool EntryOpen() const { return entryOpen_; }

    void OpenEntry(const Member& m, bool deflated, int level) {
        const bool zip64 = m.statSize >= env().Zip64From();
        entryHeader_ = pos_;
        entryZip64_ = zip64;
        entryNameSize_ = m.name.size();
        zip_fileinfo info{};
        info.dosDate = m.dosTime;
        // Unix origin: extractors then take the name bytes as they are instead of splitting a CP932
        // second byte 0x5C as a DOS path separator.
        info.external_fa = (0100000ul | (m.mode & 0777u)) << 16;
        const uLong madeBy = (3u << 8) | (zip64 ? 45u : 20u);
        check(zipOpenNewFileInZip4_64(zip_, m.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                      deflated ? Z_DEFLATED : 0, deflated ? level : 0, deflated ? 1 : 0,
                                      -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, madeBy, 0,
                                      zip64 ? 1 : 0));
        entryOpen_ = true;
    }
    void Write(const char* data, size_t n) {
        while (n > 0) {
            unsigned part = static_cast<unsigned>(std::min<size_t>(n, 1u << 30));
            check(zipWriteInFileInZip(zip_, data, part));
            data += part;
            n -= part;
        }
    }
    void CloseEntry() {
        entryOpen_ = false;
        check(zipCloseFileInZip(zip_));
        fixLocalZip64();
    }
    void CloseRawEntry(uint64_t size, uint32_t crc) {
        entryOpen_ = false;
        check(zipCloseFileInZipRaw64(zip_, size, crc));
        fixLocalZip64();
    }
    // Writes the central directory, sets the archive's time when one is given, and gives the archive its
    // name.
    void Commit(std::optional<std::time_t> time) {
        const uint64_t central = pos_; // the central directory follows the last member
        int rc = zipClose(zip_, nullptr);
        zip_ = nullptr;
        check(rc);
        keepUnixOrigin(central);
        if (time && !file_.SetModifiedTime(static_cast<int64_t>(*time)))
            throw ZipFailure(ERROR_CANNOT_WRITE,
                             target_ + " の日時を設定できません：" + FileErrorText(file_.Error()));
        // Renamed while still open and locked, so that no other pack takes it for a stale temporary.
        if (int code = ReplaceFilePath(temp_, target_))
            throw ZipFailure(ERROR_CANNOT_WRITE, target_ + " を作成できません：" + FileErrorText(code));
        committed_ = true;
        if (!file_.Close()) {
            int code = file_.Error();
            DeleteFilePath(target_);
            throw ZipFailure(ERROR_CANNOT_WRITE, target_ + " に書き込めません：" + FileErrorText(code));
        }
    }

private:
    void readAt(uint64_t at, void* data, size_t n) {
        if (file_.ReadAt(data, n, static_cast<int64_t>(at)) != static_cast<int64_t>(n))
            throw ZipFailure(ERROR_CANNOT_WRITE, target_ + " に書き込めません：" +
                                                     FileErrorText(file_.Error() ? file_.Error() : EIO));
    }
    void writeAt(uint64_t at, const void* data, size_t n) {
        if (!file_.WriteAllAt(data, n, static_cast<int64_t>(at)))
            throw ZipFailure(ERROR_CANNOT_WRITE,
                             target_ + " に書き込めません：" + FileErrorText(file_.Error()));
    }
    static uint32_t le32(const unsigned char* p) {
        return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    static void put32(unsigned char* p, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<unsigned char>(v >> (8 * i));
    }

    // minizip reserves a zip64 field in the local header of a member that might reach 4 GiB and leaves
    // its sizes zero when the member stays smaller; readers then find the local header at odds with
    // itself. The sizes go into that field, the 32-bit ones read "see zip64".
    void fixLocalZip64() {
        if (!entryZip64_)
            return;
        unsigned char header[30];
        readAt(entryHeader_, header, sizeof header);
        const uint32_t compressed = le32(header + 18), size = le32(header + 22);
        if (compressed == NoSize32 || size == NoSize32)
            return; // minizip filled the zip64 field itself
        const uint64_t field = entryHeader_ + 30 + entryNameSize_;
        unsigned char extra[20];
        readAt(field, extra, sizeof extra);
        if (extra[0] != 1 || extra[1] != 0 || extra[2] != 16 || extra[3] != 0)
            return;
        for (int i = 0; i < 8; ++i) {
            extra[4 + i] = static_cast<unsigned char>(static_cast<uint64_t>(size) >> (8 * i));
            extra[12 + i] = static_cast<unsigned char>(static_cast<uint64_t>(compressed) >> (8 * i));
        }
        writeAt(field, extra, sizeof extra);
        put32(header + 18, NoSize32);
        put32(header + 22, NoSize32);
        writeAt(entryHeader_ + 18, header + 18, 8);
    }

    // minizip writes "version made by" as MS-DOS for a member that needed zip64; extractors then take the
    // name's bytes in the MS-DOS code page and no longer as they are. Every member is made on Unix.
    void keepUnixOrigin(uint64_t central) {
        const int64_t size = file_.Size();
        if (size < 0 || static_cast<uint64_t>(size) <= central)
            return;
        std::vector<unsigned char> dir(static_cast<size_t>(static_cast<uint64_t>(size) - central));
        readAt(central, dir.data(), dir.size());
        bool changed = false;
        for (size_t at = 0; at + 46 <= dir.size() && le32(&dir[at]) == 0x02014b50u;) {
            if (dir[at + 5] != 3) {
                dir[at + 5] = 3;
                changed = true;
            }
            at += 46 + (dir[at + 28] | (dir[at + 29] << 8)) + (dir[at + 30] | (dir[at + 31] << 8)) +
                  (dir[at + 32] | (dir[at + 33] << 8));
        }
        if (changed)
            writeAt(central, dir.data(), dir.size());
    }

    uLong write(const void* data, uLong size) {
        if (error_ != 0)
            return 0;
        if (!file_.WriteAllAt(data, size, static_cast<int64_t>(pos_))) {
            error_ = file_.Error();
            return 0;
        }
        pos_ += size;
        return size;
    }
    long seek(ZPOS64_T offset, int origin) {
        if (origin == ZLIB_FILEFUNC_SEEK_SET)
            pos_ = offset;
        else if (origin == ZLIB_FILEFUNC_SEEK_CUR)
            pos_ += offset;
        else {
            const int64_t size = file_.Size();
            if (size < 0)
                return -1;
            pos_ = static_cast<uint64_t>(size) + offset;
        }
        return 0;
    }
    void check(int rc) {
        if (rc == ZIP_OK)
            return;
        throw ZipFailure(
            ERROR_CANNOT_WRITE,
            target_ + " に書き込めません：" +
                (error_ ? FileErrorText(error_) : "ZIP ライブラリのエラー " + std::to_string(rc) + "。"));
    }

    std::string target_, temp_;
    TFile file_;
    uint64_t pos_ = 0;
    int error_ = 0;
    zipFile zip_ = nullptr;
    bool entryOpen_ = false, committed_ = false;
    uint64_t entryHeader_ = 0; // where the open member's local header starts
    size_t entryNameSize_ = 0;
    bool entryZip64_ = false;
};

// Compressing threads deflate the members in the archive's order, a bounded way ahead of the writer
// (the calling thread), which writes each member as soon as it is its turn: a large member while it is
// still being deflated, so that neither memory nor the disk ever holds a second copy of the archive.
class Pipeline {
public:
    Pipeline(std::vector<Member>& members, int level, ArchiveOutput& out, std::string& listing, bool verbose)
        : members_(members), level_(level), out_(out), listing_(listing), verbose_(verbose) {
        progress_.Step = "圧縮しています";
        progress_.Total = static_cast<int64_t>(members_.size());
        for (const Member& m : members_)
            progress_.BytesTotal += static_cast<int64_t>(m.statSize);
    }
    ~Pipeline() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            abort_ = true;
        }
        workerCv_.notify_all();
        for (std::thread& t : threads_)
            t.join();
        for (Member& m : members_)
            m.file.Close();
    }

    void Run() {
        const unsigned workers = std::min(4u, UsableCores());
        for (unsigned w = 0; w < workers && !members_.empty(); ++w) {
            try {
                threads_.push_back(env().StartThread(threads_.size(), [this] { work(); }));
            } catch (const std::system_error&) {
                break; // fewer threads; the writer compresses what no thread takes
            }
        }
        for (size_t i = 0; i < members_.size(); ++i) {
            bool mine = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                head_ = i;
                if (next_ == i) {
                    next_ = i + 1;
                    mine = true;
                }
            }
            workerCv_.notify_all();
            if (mine) {
                if (!own_)
                    own_ = std::make_unique<Compressor>(level_);
                process(i, *own_, true);
            }
            writeMember(members_[i]);
            ++progress_.Done;
            before_ += static_cast<int64_t>(members_[i].statSize);
            progress_.BytesDone = before_;
            tick();
        }
    }

private:
    // The writer is the caller's thread, which runs the window: now and then the window system gets its
    // turn, the progress is shown, and a cancel by the user ends the pack.
    void tick() {
        auto now = std::chrono::steady_clock::now();
        if (now - lastTick_ < std::chrono::milliseconds(100))
            return;
        lastTick_ = now;
        Prompts().ProcessMessages();
        if (CancelRequested())
            throw ZipFailure(ERROR_USER_CANCEL, ECancelled().what());
        ReportProgress(progress_);
    }

    // Waits on the writer's condition, ticking meanwhile.
    template <typename Predicate> void writerWait(std::unique_lock<std::mutex>& lock, Predicate ready) {
        while (!writerCv_.wait_for(lock, std::chrono::milliseconds(100), ready)) {
            lock.unlock();
            tick();
            lock.lock();
        }
    }

    void work() {
        try {
            Compressor k(level_);
            for (;;) {
                size_t i;
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    workerCv_.wait(lock, [&] {
                        return abort_ || next_ >= members_.size() ||
                               (next_ < head_ + Window && waiting_ < Budget);
                    });
                    if (abort_ || next_ >= members_.size())
                        return;
                    i = next_++;
                }
                process(i, k, false);
            }
        } catch (const Aborted&) {
        } catch (const ZipFailure& f) {
            fail(f);
        } catch (const std::exception& e) {
            fail(ZipFailure(ERROR_CANNOT_WRITE, e.what()));
        }
    }

    void fail(const ZipFailure& f) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!failure_)
                failure_ = f;
            abort_ = true;
        }
        workerCv_.notify_all();
        writerCv_.notify_all();
    }

    // Reads and deflates (or sets aside for storing) one member; `byWriter` when the writer itself does it.
    void process(size_t i, Compressor& k, bool byWriter) {
        Member& m = members_[i];
        TFile file;
        if (!file.Open(m.path, FileAccess::Read))
            throw ZipFailure(ERROR_FILE_OPEN, m.display + " を開けません：" + FileErrorText(file.Error()));
        uint64_t offset = 0;
        size_t n = readMember(m, file, k.in.data(), ReadChunk, offset);
        bool eof = n < ReadChunk;
        if (level_ == 0 || n == 0 || !k.Shrinks(file, n, m.statSize)) {
            std::lock_guard<std::mutex> lock(mutex_);
            m.head.assign(k.in.data(), n);
            m.buffered = n;
            waiting_ += n;
            if (!eof)
                m.file = std::move(file);
            m.stored = m.finished = true;
            writerCv_.notify_all();
            return;
        }

        std::string out(OutChunk, '\0');
        uint64_t size = 0, compressed = 0;
        auto setOutput = [&] {
            k.z.next_out = reinterpret_cast<Bytef*>(out.data());
            k.z.avail_out = static_cast<uInt>(out.size());
        };
        auto outputFull = [&] {
            compressed += out.size();
            deliver(i, std::move(out), byWriter);
            out.assign(OutChunk, '\0');
            setOutput();
        };
        setOutput();
        k.Begin();
        uLong crc = crc32(0L, Z_NULL, 0);
        for (;;) {
            k.UseStrategy(n == ReadChunk && allZero(k.in.data(), n) ? Z_RLE : Z_DEFAULT_STRATEGY, outputFull);
            crc = crc32(crc, reinterpret_cast<const Bytef*>(k.in.data()), static_cast<uInt>(n));
            size += n;
            k.z.next_in = reinterpret_cast<Bytef*>(k.in.data());
            k.z.avail_in = static_cast<uInt>(n);
            const int flush = eof ? Z_FINISH : Z_NO_FLUSH;
            for (;;) {
                int rc = deflate(&k.z, flush);
                if (rc == Z_STREAM_ERROR)
                    throw ZipFailure(ERROR_CANNOT_WRITE, m.display + " を圧縮できません。");
                bool full = k.z.avail_out == 0;
                if (full)
                    outputFull();
                if (flush == Z_FINISH ? rc == Z_STREAM_END : !full)
                    break;
            }
            if (eof)
                break;
            n = readMember(m, file, k.in.data(), ReadChunk, offset);
            eof = n < ReadChunk;
            if (byWriter)
                tick();
        }
        out.resize(OutChunk - k.z.avail_out);
        compressed += out.size();

        std::lock_guard<std::mutex> lock(mutex_);
        m.size = size;
        m.crc = static_cast<uint32_t>(crc);
        m.compressed = compressed;
        if (!m.committed && compressed >= size) {
            // Deflating did not make it smaller after all: store it, reading it once more.
            waiting_ -= m.buffered;
            m.buffered = 0;
            m.chunks.clear();
            m.file = std::move(file); // read again from where the head ends
            m.stored = true;
        } else {
            if (!out.empty()) {
                m.buffered += out.size();
                waiting_ += out.size();
                m.chunks.push_back(std::move(out));
            }
            m.deflating = true;
        }
        m.finished = true;
        writerCv_.notify_all();
    }

    // Hands a full output chunk to the writer; a thread then waits while too much of this member waits.
    void deliver(size_t i, std::string&& chunk, bool byWriter) {
        Member& m = members_[i];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            m.buffered += chunk.size();
            waiting_ += chunk.size();
            m.chunks.push_back(std::move(chunk));
            m.deflating = true;
            writerCv_.notify_all();
            if (!byWriter) {
                workerCv_.wait(lock, [&] { return abort_ || m.buffered < MemberCap; });
                if (abort_)
                    throw Aborted{};
                return;
            }
        }
        pump(m); // the writer compresses this member itself: it writes what may be written
    }

    // Writes the chunks of a deflated member that are there, beginning the member once enough waits.
    void pump(Member& m) {
        std::deque<std::string> chunks;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!m.committed && m.buffered < MemberCap && !m.finished)
                return;
            m.committed = true;
            chunks.swap(m.chunks);
        }
        if (!out_.EntryOpen())
            out_.OpenEntry(m, true, level_);
        uint64_t bytes = 0;
        for (const std::string& c : chunks) {
            out_.Write(c.data(), c.size());
            bytes += c.size();
        }
        release(m, bytes);
    }

    void release(Member& m, uint64_t bytes) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            m.buffered -= bytes;
            waiting_ -= bytes;
        }
        workerCv_.notify_all();
    }

    void writeMember(Member& m) {
        bool stored;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            writerWait(lock, [&] {
                return failure_ || m.finished || m.committed || (m.deflating && m.buffered >= MemberCap);
            });
            if (failure_)
                throw *failure_;
            // From here on a deflated member stays deflated.
            stored = m.stored;
            m.committed = !stored;
        }
        if (stored)
            writeStored(m);
        else
            writeDeflated(m);
        if (verbose_) {
            uint64_t percent = m.size == 0 || m.stored ? 0 : 100 - (m.compressed * 100 + m.size / 2) / m.size;
            listing_ += "  adding: " + m.name +
                        (m.stored ? " (stored 0%)" : " (deflated " + std::to_string(percent) + "%)") + "\r\n";
        }
    }

    void writeStored(Member& m) {
        std::string head;
        TFile file;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            head.swap(m.head);
            file = std::move(m.file);
        }
        out_.OpenEntry(m, false, 0);
        out_.Write(head.data(), head.size());
        uint64_t total = head.size();
        release(m, head.size());
        if (file.IsOpen()) {
            if (buffer_.empty())
                buffer_.resize(ReadChunk);
            for (uint64_t offset = total;;) {
                size_t n = readMember(m, file, buffer_.data(), buffer_.size(), offset);
                out_.Write(buffer_.data(), n);
                total += n;
                progress_.BytesDone = before_ + static_cast<int64_t>(total);
                tick();
                if (n < buffer_.size())
                    break;
            }
        }
        m.size = total;
        checkSize(m, m.size);
        out_.CloseEntry();
    }

    void writeDeflated(Member& m) {
        for (;;) {
            bool finished;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                writerWait(lock, [&] { return failure_ || !m.chunks.empty() || m.finished; });
                if (failure_)
                    throw *failure_;
                finished = m.finished;
            }
            pump(m);
            if (finished)
                break;
        }
        if (!out_.EntryOpen()) // an empty deflate stream is still a deflated member
            out_.OpenEntry(m, true, level_);
        checkSize(m, std::max(m.size, m.compressed));
        out_.CloseRawEntry(m.size, m.crc);
    }

    static void checkSize(const Member& m, uint64_t written) {
        if (m.statSize < env().Zip64From() && written >= 0xFFFFFFFFull)
            throw ZipFailure(ERROR_FILE_OPEN, m.display + " が圧縮中に 4 GiB を超えました。");
    }

    std::vector<Member>& members_;
    const int level_;
    ArchiveOutput& out_;
    std::string& listing_;
    const bool verbose_;

    std::mutex mutex_;
    std::condition_variable workerCv_, writerCv_;
    size_t next_ = 0, head_ = 0; // next member to take; member the writer is at
    uint64_t waiting_ = 0;       // bytes waiting for the writer
    bool abort_ = false;
    std::optional<ZipFailure> failure_;
    std::vector<std::thread> threads_;
    std::unique_ptr<Compressor> own_;
    std::vector<char> buffer_;
    RunProgress progress_;
    int64_t before_ = 0; // bytes of the members written
    std::chrono::steady_clock::time_point lastTick_ = std::chrono::steady_clock::now();
};

// The time a member carries: its modification time rounded up to the even second, as DOS times count.
std::time_t evenSecondUp(const FileInfo& info) {
    std::time_t s = static_cast<std::time_t>(info.modifiedTime + (info.modifiedNanoseconds > 0 ? 1 : 0));
    return s + (s & 1);
}

uint32_t dosTime(std::time_t t) {
    std::tm tm{};
    if (!LocalTimeOf(static_cast<int64_t>(t), tm) || tm.tm_year < 80)
        return (1u << 21) | (1u << 16); // 1980-01-01 00:00, the earliest a DOS time holds
    if (tm.tm_year > 207)
        return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    return (static_cast<uint32_t>(tm.tm_year - 80) << 25) | (static_cast<uint32_t>(tm.tm_mon + 1) << 21) |
           (static_cast<uint32_t>(tm.tm_mday) << 16) | (static_cast<uint32_t>(tm.tm_hour) << 11) |
           (static_cast<uint32_t>(tm.tm_min) << 5) | (static_cast<uint32_t>(tm.tm_sec) / 2);
}

// The file a path names as one text to compare: the real path of its folder and its own name, so that
// the archive, which may not exist yet, compares equal to a member that names it another way.
std::string identity(const std::string& path) {
    std::string real = CanonicalPath(path);
    if (!real.empty())
        return real;
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    real = CanonicalPath(folder);
    return real.empty() ? path : real + "/" + name;
}

std::string lastComponent(const std::string& cp932) {
    bool absolute = false;
    std::vector<std::string> parts = SplitCp932Path(cp932, absolute);
    return parts.empty() ? std::string() : parts.back();
}

} // namespace

int64_t ZipWriterEnvironment::ReadAt(TFile& file, const std::string&, void* buffer, size_t n, int64_t offset,
                                     int& error) const {
    int64_t got = file.ReadAt(buffer, n, offset);
    error = got < 0 ? file.Error() : 0;
    return got;
}

std::thread ZipWriterEnvironment::StartThread(size_t, std::function<void()> work) const {
    return std::thread(std::move(work));
}

int ZipWriterEnvironment::SetUpDeflate(void* stream, int level) const {
    return deflateInit2(static_cast<z_stream*>(stream), level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
}

uint64_t ZipWriterEnvironment::Zip64From() const {
    return SystemZip64From;
}

const ZipWriterEnvironment* SetZipWriterEnvironment(const ZipWriterEnvironment* replacement) {
    const ZipWriterEnvironment* previous =
        environment.exchange(replacement ? replacement : &systemEnvironment);
    return previous == &systemEnvironment ? nullptr : previous;
}

bool IsZipWriterTemporary(const std::string& archiveName, const std::string& name) {
    // The archive's name, "." and 8 hex digits, ".tmp"
    if (name.size() != archiveName.size() + 13 || name.compare(0, archiveName.size(), archiveName) != 0)
        return false;
    const char* tail = name.c_str() + archiveName.size();
    if (tail[0] != '.' || std::strcmp(tail + 9, ".tmp") != 0)
        return false;
    for (int i = 1; i <= 8; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(tail[i])) ||
            std::isupper(static_cast<unsigned char>(tail[i])))
            return false;
    return true;
}

void RemoveStaleZipTemporaries(const std::string& archive) {
    size_t slash = archive.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : archive.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? archive : archive.substr(slash + 1);
    std::vector<DirEntry> entries;
    if (!ListDirectory(folder, entries))
        return;
    for (const DirEntry& e : entries) {
        if (!IsZipWriterTemporary(name, e.name))
            continue;
        // One that a running pack holds is left alone; a regular file only, never what a link points to.
        const std::string path = (slash == std::string::npos ? "" : folder) + e.name;
        TFile file;
        if (file.Open(path, FileAccess::ReadProbe) && file.IsRegular() && file.TryLock())
            DeleteFilePath(path);
    }
}

std::string ZipWriter::Write() {
    const ZipCommand& c = command_;
    // Folders come either as native paths or as CP932 ones, found by that form; members are always CP932.
    const std::string nativeBase = c.NativeFolders ? NativePath(c.BaseFolder) : std::string();
    Cp932PathResolver resolver, memberResolver(nativeBase);
    auto shownFolder = [&](const std::string& folder) {
        return c.NativeFolders ? folder : Cp932ToUtf8(folder);
    };
    std::string archive;
    if (c.NativeFolders)
        archive = NativePath(c.Archive);
    else if (!resolver.ResolveForCreate(c.Archive, archive))
        throw ZipFailure(ERROR_CANNOT_WRITE,
                         shownFolder(c.Archive) + " を作成できません：" + FileErrorText(ENOTDIR));
    FileInfo st;
    if (c.Update && GetFileInfoOfPath(archive, st))
        throw ZipFailure(ERROR_COMMAND_NAME, "スイッチ \"-u\" は内蔵の ZIP 作成機能では既存の書庫 " +
                                                 archive +
                                                 " に使えません：この機能は書庫を新しく作るだけです。");
    const std::string archiveIdentity = identity(archive);
    // A pack that was killed left its temporary behind; the next one beside it clears it away.
    RemoveStaleZipTemporaries(archive);

    std::vector<Member> members;
    members.reserve(c.Members.size());
    for (const std::string& name : c.Members) {
        Member m;
        // The member keeps the very bytes it was named with; its file is found by that CP932 form.
        m.name = c.JunkPaths ? lastComponent(name) : name;
        m.display = shownFolder(c.BaseFolder) + Cp932ToUtf8(name);
        const std::string cp932Path = c.NativeFolders ? name : c.BaseFolder + name;
        Cp932PathResolver& r = c.NativeFolders ? memberResolver : resolver;
        const bool found = r.Resolve(cp932Path, m.path);
        std::string wouldBe;
        // The archive is never packed into itself (when it was deleted first, its name is still listed).
        if ((found && identity(m.path) == archiveIdentity) ||
            (!found && r.ResolveForCreate(cp932Path, wouldBe) && identity(wouldBe) == archiveIdentity))
            continue;
        if (!found || !GetFileInfoOfPath(m.path, st))
            throw ZipFailure(ERROR_FILE_OPEN, m.display + " を開けません：" + FileErrorText(ENOENT));
        if (!st.regular)
            throw ZipFailure(ERROR_FILE_OPEN, m.display + " を開けません：ファイルではありません。");
        m.statSize = static_cast<uint64_t>(st.size);
        m.time = evenSecondUp(st);
        m.dosTime = dosTime(m.time);
        m.mode = st.mode;
        m.sparse = static_cast<uint64_t>(st.allocatedBytes) < m.statSize;
        members.push_back(std::move(m));
    }

    std::string listing;
    ArchiveOutput out(archive);
    {
        Pipeline pipeline(members, c.Level, out, listing, c.Verbose);
        pipeline.Run();
    }
    // -o: the archive is as old as its newest member.
    std::optional<std::time_t> newest;
    if (c.LatestTime)
        for (const Member& m : members)
            newest = std::max(newest.value_or(m.time), m.time);
    out.Commit(newest);
    return listing;
}
