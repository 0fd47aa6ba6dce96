#include "BuiltinZip.h"

#include "ArchiverApi.h"
#include "platform/Cp932.h"
#include "platform/Cp932PathResolver.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zip.h>
#include <zlib.h>

namespace {

// A failure with its result code; the message goes to the caller's output buffer.
struct ZipFailure {
    int code;
    std::string message;
};

struct Command {
    int level = 6;
    bool junkPaths = false;
    std::string archive;
    std::string baseFolder;
    std::vector<std::string> members; // names as they go into the archive (CP932, '/' separators)
};

// Undoes the member-name escape of the command language: "[-]" at the start and "[[]" anywhere, and '\'
// between folders becomes '/'. The name is CP932: second bytes that look like '\' or '[' are left alone.
std::string unescapeName(const std::string& name) {
    std::string out;
    size_t i = 0;
    if (name.compare(0, 3, "[-]") == 0) {
        out = "-";
        i = 3;
    }
    for (; i < name.size(); ++i) {
        if (IsCp932LeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) {
            out += name[i];
            out += name[++i];
        } else if (name.compare(i, 3, "[[]") == 0) {
            out += '[';
            i += 2;
        } else {
            out += name[i] == '\\' ? '/' : name[i];
        }
    }
    return out;
}

// True when the CP932 text's last character is a folder separator.
bool endsWithSeparator(const std::string& cp932) {
    bool separator = false;
    for (size_t i = 0; i < cp932.size(); ++i) {
        if (IsCp932LeadByte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size()) {
            separator = false;
            ++i;
        } else {
            separator = cp932[i] == '\\' || cp932[i] == '/';
        }
    }
    return separator;
}

// The part after the last separator of a CP932 member name ('/' between folders).
std::string lastComponent(const std::string& cp932) {
    bool absolute = false;
    std::vector<std::string> parts = SplitCp932Path(cp932, absolute);
    return parts.empty() ? std::string() : parts.back();
}

void applySwitch(const std::string& token, Command& c) {
    if (token.size() < 2)
        throw ZipFailure{ERROR_COMMAND_NAME, "empty switch \"-\""};
    for (size_t i = 1; i < token.size(); ++i) {
        char s = token[i];
        if (s >= '0' && s <= '9')
            c.level = s - '0';
        else if (s == 'j')
            c.junkPaths = true;
        else if (s != 'D' && s != 'X' && s != 'q' && s != 'S') // what this writer always does, or harmless
            throw ZipFailure{ERROR_COMMAND_NAME,
                             "switch \"" + token + "\" is not supported by the built-in zip writer"};
    }
}

// Splits the command line into switches and quoted texts.
Command parse(const std::string& line) {
    Command c;
    std::vector<std::string> quoted;
    size_t p = 0;
    while (p < line.size()) {
        if (line[p] == ' ') {
            ++p;
            continue;
        }
        if (line[p] == '"') {
            size_t close = line.find('"', p + 1);
            if (close == std::string::npos)
                throw ZipFailure{ERROR_COMMAND_NAME, "unterminated quote in the command"};
            quoted.push_back(line.substr(p + 1, close - p - 1));
            p = close + 1;
            continue;
        }
        size_t end = line.find(' ', p);
        std::string token = line.substr(p, end == std::string::npos ? std::string::npos : end - p);
        p = end == std::string::npos ? line.size() : end;
        if (token[0] != '-')
            throw ZipFailure{ERROR_COMMAND_NAME, "unexpected \"" + token + "\" in the command"};
        applySwitch(token, c);
    }
    if (quoted.empty())
        throw ZipFailure{ERROR_COMMAND_NAME, "no archive name in the command"};
    c.archive = quoted[0];
    size_t next = 1;
    if (next < quoted.size() && endsWithSeparator(quoted[next])) {
        c.baseFolder = quoted[next];
        ++next;
    }
    for (; next < quoted.size(); ++next) {
        const std::string& item = quoted[next];
        if (!item.empty() && item[0] == '@') {
            std::string text;
            try {
                text = ReadFileBytes(NativePath(Cp932ToUtf8(item.substr(1))));
            } catch (const EQuillon& e) {
                throw ZipFailure{ERROR_FILE_OPEN, e.what()};
            }
            for (std::string entry : SplitLines(text)) {
                if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
                    entry = entry.substr(1, entry.size() - 2);
                if (!entry.empty())
                    c.members.push_back(unescapeName(entry));
            }
        } else if (!item.empty()) {
            c.members.push_back(unescapeName(item));
        }
    }
    return c;
}

// One member on its way into the archive: compressed ahead of the writing into a spool file.
struct Member {
    std::string name; // in the archive, CP932
    std::string path; // local
    uint64_t size = 0;
    std::time_t mtime = 0;
    unsigned mode = 0644;
    uint32_t crc = 0;
    bool stored = false;
    int spool = -1; // file descriptor of the spool holding the deflated data
    uint64_t offset = 0, compressed = 0;
    std::string error;
};

// Deflated output is kept in memory up to this size and only then written to the spool, so that data
// which ends up stored (deflating did not make it smaller) mostly never touches the disk.
constexpr size_t PendingLimit = 4u << 20;

void compressMember(Member& m, int spool, uint64_t& spoolEnd, int level) {
    int fd = ::open(m.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m.error = "cannot open " + m.path + ": " + SystemErrorText(errno);
        return;
    }
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> in(1 << 17), out(1 << 17);
    std::string pending;
    uLong crc = crc32(0, nullptr, 0);
    m.spool = spool;
    m.offset = spoolEnd;
    uint64_t total = 0, produced = 0;
    auto flush = [&] {
        if (pending.empty())
            return true;
        if (::pwrite(spool, pending.data(), pending.size(), static_cast<off_t>(spoolEnd)) !=
            static_cast<ssize_t>(pending.size())) {
            m.error = "cannot write the temporary data: " + SystemErrorText(errno);
            return false;
        }
        spoolEnd += pending.size();
        pending.clear();
        return true;
    };
    bool done = false;
    while (!done) {
        ssize_t n = ::read(fd, in.data(), in.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m.error = "cannot read " + m.path + ": " + SystemErrorText(errno);
            break;
        }
        total += static_cast<uint64_t>(n);
        crc = crc32(crc, in.data(), static_cast<uInt>(n));
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            int rc = deflate(&z, n == 0 ? Z_FINISH : Z_NO_FLUSH);
            size_t got = out.size() - z.avail_out;
            pending.append(reinterpret_cast<const char*>(out.data()), got);
            produced += got;
            if (rc == Z_STREAM_END)
                done = true;
        } while (z.avail_out == 0);
        if (pending.size() > PendingLimit && !flush())
            break;
    }
    deflateEnd(&z);
    ::close(fd);
    m.size = total;
    m.crc = static_cast<uint32_t>(crc);
    m.compressed = produced;
    m.stored = produced >= total; // deflating did not make it smaller
    if (m.error.empty() && !m.stored)
        flush();
}

// A libzip source handing over a member's deflated data as it is.
struct DeflatedSource {
    Member* member;
    uint64_t position = 0;
};

zip_int64_t deflatedCallback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* s = static_cast<DeflatedSource*>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        s->position = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        uint64_t left = s->member->compressed - s->position;
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, length));
        ssize_t r = ::pread(s->member->spool, data, n, static_cast<off_t>(s->member->offset + s->position));
        if (r < 0)
            return -1;
        s->position += static_cast<uint64_t>(r);
        return r;
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC |
                    ZIP_STAT_MTIME | ZIP_STAT_ENCRYPTION_METHOD;
        st->size = s->member->size;
        st->comp_size = s->member->compressed;
        st->comp_method = ZIP_CM_DEFLATE;
        st->crc = s->member->crc;
        st->mtime = s->member->mtime;
        st->encryption_method = ZIP_EM_NONE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(nullptr, data, length);
    case ZIP_SOURCE_FREE:
        delete s;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_SUPPORTS, -1);
    default:
        return -1;
    }
}

void writeArchive(const Command& c) {
    Cp932PathResolver resolver;
    std::vector<Member> members(c.members.size());
    for (size_t i = 0; i < members.size(); ++i) {
        Member& m = members[i];
        // The member keeps the very bytes it was named with; its file is found by that CP932 form.
        m.name = c.junkPaths ? lastComponent(c.members[i]) : c.members[i];
        struct stat st;
        if (!resolver.Resolve(c.baseFolder + c.members[i], m.path) || ::stat(m.path.c_str(), &st) != 0 ||
            !S_ISREG(st.st_mode))
            throw ZipFailure{ERROR_FILE_OPEN, "cannot open " + Cp932ToUtf8(c.baseFolder + c.members[i])};
        m.mtime = st.st_mtime;
        m.mode = static_cast<unsigned>(st.st_mode);
    }

    // Deflate on every core, each worker into a spool file of its own, ahead of writing the archive.
    unsigned workers = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    std::vector<FILE*> spools;
    struct CloseSpools {
        std::vector<FILE*>& files;
        ~CloseSpools() {
            for (FILE* f : files)
                std::fclose(f);
        }
    } closeSpools{spools};
    for (unsigned i = 0; i < workers; ++i) {
        FILE* f = std::tmpfile();
        if (!f)
            throw ZipFailure{ERROR_CANNOT_WRITE, "cannot create a temporary file: " + SystemErrorText(errno)};
        spools.push_back(f);
    }
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w)
        threads.emplace_back([&, w] {
            uint64_t end = 0;
            for (size_t i; (i = next++) < members.size();)
                compressMember(members[i], ::fileno(spools[w]), end, c.level);
        });
    for (std::thread& t : threads)
        t.join();
    for (const Member& m : members)
        if (!m.error.empty())
            throw ZipFailure{ERROR_FILE_OPEN, m.error};

    std::string archive;
    if (!resolver.ResolveForCreate(c.archive, archive))
        throw ZipFailure{ERROR_CANNOT_WRITE, "cannot create " + Cp932ToUtf8(c.archive) + ": Path not found"};
    int error = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!za) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, error);
        std::string message = "cannot create " + archive + ": " + zip_error_strerror(&ze);
        zip_error_fini(&ze);
        throw ZipFailure{ERROR_CANNOT_WRITE, message};
    }
    auto fail = [&](const std::string& what) {
        std::string message = what + ": " + zip_strerror(za);
        zip_discard(za);
        RemoveFile(archive);
        throw ZipFailure{ERROR_CANNOT_WRITE, message};
    };
    for (Member& m : members) {
        zip_source_t* source = m.stored ? zip_source_file(za, m.path.c_str(), 0, -1)
                                        : zip_source_function(za, deflatedCallback, new DeflatedSource{&m});
        if (!source)
            fail("cannot read " + m.path);
        // CP437 marks the name as not UTF-8: the bytes (CP932) are stored as they are, without the flag.
        zip_int64_t index = zip_file_add(za, m.name.c_str(), source, ZIP_FL_ENC_CP437);
        if (index < 0) {
            zip_source_free(source);
            fail("cannot add " + m.path);
        }
        auto idx = static_cast<zip_uint64_t>(index);
        // The data is already in its final form; naming the method keeps libzip from redoing it, and the
        // level marks the entry as compressed at that level.
        zip_set_file_compression(za, idx, m.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 m.stored ? 0 : static_cast<zip_uint32_t>(c.level));
        zip_file_set_mtime(za, idx, m.mtime, 0);
        // Unix origin: extractors then take the name bytes as they are instead of splitting the CP932
        // second byte 0x5C as a DOS path separator.
        zip_file_set_external_attributes(za, idx, 0, ZIP_OPSYS_UNIX, (0100000u | (m.mode & 0777u)) << 16);
    }
    if (zip_close(za) != 0)
        fail("cannot write " + archive);
}

void report(char* output, uint32_t size, const std::string& message) {
    if (!output || size == 0)
        return;
    std::string bytes = Utf8ToCp932Lossy(message);
    size_t n = std::min<size_t>(bytes.size(), size - 1);
    std::memcpy(output, bytes.data(), n);
    output[n] = '\0';
}

class BuiltinZipLibrary : public DynamicLibrary {
public:
    void* Symbol(const std::string& name) override {
        return name == "Zip" ? reinterpret_cast<void*>(&BuiltinZipCommand) : nullptr;
    }
    std::string ModulePath() const override { return "ZIP32J.DLL (built in)"; }
};

} // namespace

extern "C" int BuiltinZipCommand(void*, const char* commandLine, char* output, uint32_t size) {
    try {
        Command command = parse(commandLine ? commandLine : "");
        writeArchive(command);
        report(output, size, "");
        return 0;
    } catch (const ZipFailure& f) {
        report(output, size, f.message);
        return f.code;
    } catch (const std::exception& e) {
        report(output, size, e.what());
        return ERROR_CANNOT_WRITE;
    }
}

std::unique_ptr<DynamicLibrary> CreateBuiltinZipLibrary() {
    return std::make_unique<BuiltinZipLibrary>();
}
