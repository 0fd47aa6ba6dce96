#include "FTPClient.h"

#include "FTPTls.h"
#include "platform/Cp932.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "platform/UserPrompts.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

#ifdef _WIN32
constexpr bool CurlAddsCrOnAsciiUpload = false;
#else
// libcurl itself turns every LF of an ASCII-type upload into CR LF here (not on Windows).
constexpr bool CurlAddsCrOnAsciiUpload = true;
#endif

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

// Results of our own besides libcurl's.
constexpr int Stalled = -1;
constexpr int Cancelled = -2;
constexpr int Aborted = -3;

std::string percentEncode(const std::string& bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

long portOf(const curl_sockaddr* address) {
    if (address->family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&address->addr)->sin_port);
    if (address->family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address->addr)->sin6_port);
    return 0;
}

long ms(Clock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

std::vector<std::string> components(const std::string& absolute) {
    std::vector<std::string> parts;
    size_t start = 1;
    while (start < absolute.size()) {
        size_t slash = absolute.find('/', start);
        parts.push_back(
            absolute.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return parts;
}

// The relative path from the absolute directory `from` to the absolute path `to`.
std::string relativePath(const std::string& from, const std::string& to) {
    std::vector<std::string> a = components(from), b = components(to);
    size_t common = 0;
    while (common < a.size() && common < b.size() && a[common] == b[common])
        ++common;
    std::string path;
    for (size_t i = common; i < a.size(); ++i)
        path += "../";
    for (size_t i = common; i < b.size(); ++i)
        path += b[i] + (i + 1 < b.size() ? "/" : "");
    if (path.empty())
        return ".";
    if (path.back() == '/')
        path.pop_back();
    return path;
}

// A file descriptor that is closed with its owner, on every way out.
class OwnedFd {
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd) : fd_(fd) {}
    OwnedFd(OwnedFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    OwnedFd& operator=(OwnedFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

} // namespace

// One request on one connection.
struct TFTPClient::Request {
    std::string quote; // a command (CP932) to send alone, or empty
    std::string path;  // the remote path of a transfer (UTF-8), or empty
    bool upload = false;
    bool connect = false;
    OwnedFd file;                            // the local file of a transfer, closed when the request ends
    int64_t size = 0;                        // of an upload
    int64_t maxBytes = -1;                   // of a download: more is refused
    std::function<void(Session&, int)> done; // with libcurl's result or one of ours
};

// One control connection with its own libcurl handles, so that no connection is ever taken over by another
// transfer (libcurl would otherwise hand an idle one to whichever transfer comes next).
struct TFTPClient::Session {
    std::unique_ptr<TFTPTls> tls; // for TLS: before the handles, which refer to it
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* resolve = nullptr;
    curl_slist* quote = nullptr;
    char errors[CURL_ERROR_SIZE] = {};
    std::string lastReply; // the last complete reply line of this request
    int lastCode = 0;
    // Once the control connection stands, libcurl must never open another one on this session: a new
    // login would silently start in the login directory, and the files after it would land there.
    curl_socket_t controlSocket = CURL_SOCKET_BAD;
    long controlPort = 0;
    bool established = false;
    // Set where libcurl closes sockets, read by the client. The mutex keeps a cut from another thread from
    // meeting a socket number that was closed and given to someone else meanwhile.
    std::atomic<bool> controlClosed{false};
    std::mutex socketMutex;
    bool refusedNewControl = false;
    std::string baseUrl;  // scheme, host and port, ending with '/'
    std::string physical; // where the connection really is on the server; empty when not known
    bool busy = false;
    bool ready = false; // logged in and usable
    bool lost = false;
    Request request;
    bool writeFailed = false;
    bool tooLarge = false; // a download passed its request's maxBytes
    int64_t tooLargeLimit = 0;
    // A request runs on a thread of its own, so that libcurl's waits (it waits for the reply after an
    // upload by itself, blocking) hold up neither the window system nor the other connections. The
    // callbacks below run there and touch nothing but their session; the client reads these.
    std::thread worker;
    std::atomic<bool> finished{false};
    int curlResult = CURLE_OK;
    std::atomic<int64_t> moved{0};
    int64_t reported = 0;
    std::atomic<int64_t> lastActivityMs{0};
    int64_t movedAtActivity = 0; // `moved` when lastActivityMs was last set
    std::atomic<int> aborted{0}; // Stalled, Cancelled or Aborted when the client stops the request
    // An ASCII-type upload of a text whose lines may already end with CR LF: each CR LF is handed to
    // libcurl as LF, which it sends as CR LF, so that the wire carries CR LF once, never CR CR LF.
    bool asciiUpload = false;
    bool heldCr = false; // a CR at the end of the last read, not known yet to start a CR LF
    std::vector<char> scratch;
    std::vector<curl_socket_t> lingering; // data sockets closed for libcurl but not yet for the server

    void closeLingering() {
        char sink[4096];
        for (curl_socket_t socket : lingering) {
            while (::recv(socket, sink, sizeof sink, MSG_DONTWAIT) > 0) {
            }
            ::close(socket);
        }
        lingering.clear();
    }

    ~Session() {
        if (worker.joinable()) {
            aborted = Aborted;
            cut();
            worker.join();
        }
        cleanup();
        closeLingering();
    }

    size_t readAscii(char* buffer, size_t room) {
        for (;;) {
            size_t want = room - (heldCr ? 1 : 0); // room for a held CR that turns out to stand alone
            scratch.resize(want);
            ssize_t r = ::read(request.file.get(), scratch.data(), want);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return CURL_READFUNC_ABORT;
            }
            size_t out = 0;
            if (r == 0) {
                if (heldCr)
                    buffer[out++] = '\r';
                heldCr = false;
                return out;
            }
            movedData(r);
            for (ssize_t i = 0; i < r; ++i) {
                char c = scratch[static_cast<size_t>(i)];
                if (heldCr) {
                    heldCr = false;
                    if (c != '\n')
                        buffer[out++] = '\r';
                }
                if (c == '\r')
                    heldCr = true;
                else
                    buffer[out++] = c;
            }
            if (out > 0) // nothing to hand over yet is no end of the file
                return out;
        }
    }

    void cleanup() {
        // Cleaning up the handles sends QUIT on a live control connection and closes it.
        if (multi) {
            curl_multi_cleanup(multi);
            multi = nullptr;
        }
        if (easy) {
            curl_easy_cleanup(easy);
            easy = nullptr;
        }
        curl_slist_free_all(resolve);
        resolve = nullptr;
        established = false;
    }

    // Cuts the control connection at once, so that cleaning up never waits on a server that stalled.
    void cut() {
        std::lock_guard<std::mutex> lock(socketMutex);
        if (controlSocket != CURL_SOCKET_BAD && !controlClosed)
            ::shutdown(controlSocket, SHUT_RDWR);
    }

    void loggedIn() {
        curl_easy_getinfo(easy, CURLINFO_PRIMARY_PORT, &controlPort);
        char* entry = nullptr;
        curl_easy_getinfo(easy, CURLINFO_FTP_ENTRY_PATH, &entry);
        physical = entry && entry[0] == '/' ? JoinRemotePath("/", Cp932ToUtf8(entry)) : std::string();
        established = true;
        ready = true;
    }

    static size_t onHeader(char* data, size_t size, size_t n, void* self) {
        auto* s = static_cast<Session*>(self);
        s->touch();
        std::string line(data, size * n);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
            std::isdigit(static_cast<unsigned char>(line[1])) &&
            std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ') {
            // Servers answer in UTF-8 or in the platform's CP932; valid UTF-8 is practically never CP932.
            s->lastReply = IsValidUtf8(line) ? line : Cp932ToUtf8(line);
            s->lastCode = std::stoi(line.substr(0, 3));
        }
        return size * n;
    }

    static size_t onWrite(char* data, size_t size, size_t n, void* self) {
        auto* s = static_cast<Session*>(self);
        size_t total = size * n;
        if (s->request.maxBytes >= 0 && s->moved + static_cast<int64_t>(total) > s->request.maxBytes) {
            s->tooLarge = true;
            s->tooLargeLimit = s->request.maxBytes;
            return 0;
        }
        size_t done = 0;
        while (done < total) {
            ssize_t w = ::write(s->request.file.get(), data + done, total - done);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                s->writeFailed = true;
                return 0;
            }
            done += static_cast<size_t>(w);
        }
        s->movedData(static_cast<int64_t>(total));
        return total;
    }

    static size_t onRead(char* buffer, size_t size, size_t n, void* self) {
        auto* s = static_cast<Session*>(self);
        if (s->asciiUpload)
            return s->readAscii(buffer, size * n);
        for (;;) {
            ssize_t r = ::read(s->request.file.get(), buffer, size * n);
            if (r >= 0) {
                s->movedData(r);
                return static_cast<size_t>(r);
            }
            if (errno != EINTR)
                return CURL_READFUNC_ABORT;
        }
    }

    void touch() {
        movedAtActivity = moved;
        lastActivityMs = nowMs();
    }
    // Data counts as progress only at a byte a second or more since the last progress: a server that
    // drips a byte now and then is as stuck as a silent one.
    void movedData(int64_t bytes) {
        moved += bytes;
        int64_t now = nowMs();
        if ((moved - movedAtActivity) * 1000 >= now - lastActivityMs) {
            movedAtActivity = moved;
            lastActivityMs = now;
        }
    }
    long idleMs() const { return static_cast<long>(nowMs() - lastActivityMs); }

    // libcurl calls this also while it waits for a reply by itself: the client's stop ends the wait.
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<Session*>(self)->aborted != 0 ? 1 : 0;
    }

    void run() {
        for (;;) {
            int running = 0;
            curl_multi_perform(multi, &running);
            if (running == 0 || aborted != 0)
                break;
            curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
        int left = 0;
        curlResult = aborted != 0 ? CURLE_ABORTED_BY_CALLBACK : CURLE_OK;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE)
                curlResult = msg->data.result;
    }

    static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
        auto* s = static_cast<Session*>(self);
        // Data connections go to other ports; a connection to the control port, or any connection at all
        // once the control connection has closed, would be a new login.
        if (s->established && purpose == CURLSOCKTYPE_IPCXN &&
            (s->controlClosed || portOf(address) == s->controlPort)) {
            s->refusedNewControl = true;
            return CURL_SOCKET_BAD;
        }
        return ::socket(address->family, address->socktype, address->protocol);
    }

    static int onCloseSocket(void* self, curl_socket_t socket) {
        auto* s = static_cast<Session*>(self);
        std::lock_guard<std::mutex> lock(s->socketMutex);
        if (s->established && socket == s->controlSocket) {
            s->controlClosed = true;
        } else if (s->tls) {
            // A TLS data connection must not close before the server has read all of it: data of the
            // server's arriving after the close (TLS 1.3 session tickets, its close_notify) would reset the
            // connection, and a reset makes the server lose the end of an upload (vsftpd answers 426). So
            // the socket only stops sending now and is closed once the request has ended, when the
            // server's reply says it has everything.
            ::shutdown(socket, SHUT_WR);
            s->lingering.push_back(socket);
            return 0;
        }
        return ::close(socket);
    }
};

TFTPClient::TFTPClient() {
    static CurlGlobal global;
}

TFTPClient::~TFTPClient() {
    Quit();
}

void TFTPClient::SplitHost(const std::string& host, std::string& name, int& port) {
    port = 21;
    name = host;
    if (!host.empty() && host[0] == '[') {
        size_t close = host.find(']');
        if (close != std::string::npos) {
            name = host.substr(1, close - 1);
            if (close + 1 < host.size() && host[close + 1] == ':')
                port = std::atoi(host.c_str() + close + 2);
        }
        return;
    }
    size_t colon = host.find(':');
    if (colon != std::string::npos && host.find(':', colon + 1) == std::string::npos) {
        name = host.substr(0, colon);
        port = std::atoi(host.c_str() + colon + 1);
    }
}

std::string TFTPClient::JoinRemotePath(const std::string& from, const std::string& dir) {
    std::vector<std::string> parts;
    auto add = [&](const std::string& path) {
        size_t start = 0;
        while (start <= path.size()) {
            size_t slash = path.find('/', start);
            std::string part =
                path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            if (slash == std::string::npos)
                break;
            start = slash + 1;
        }
    };
    if (dir.empty() || dir[0] != '/')
        add(from);
    add(dir);
    std::string joined;
    for (const std::string& part : parts)
        joined += "/" + part;
    return joined.empty() ? "/" : joined;
}

void TFTPClient::requireConnection() const {
    if (!connected_)
        throw EFTPError(lostReason_.empty() ? "Not connected." : lostReason_);
}

void TFTPClient::throwPendingFailure() const {
    if (!pendingFailure_.empty())
        throw EFTPUploadFailed(pendingFailure_, pendingCode_);
}

void TFTPClient::lose(const std::string& reason) {
    for (auto& s : sessions_)
        s->cut();
    Quit();
    lostReason_ = reason;
}

void TFTPClient::Connect() {
    try {
        connectOnce();
    } catch (const EFTPError&) {
        if (!certificateRejected_ || !OnUntrustedCertificate)
            throw;
        TCertificateInfo certificate = rejectedCertificate_;
        if (!OnUntrustedCertificate(certificate, !TrustedFingerprint.empty()))
            throw;
        TrustedFingerprint = certificate.Fingerprint;
        connectOnce();
    }
}

void TFTPClient::connectOnce() {
    Quit();
    certificateRejected_ = false;
    lostReason_.clear();
    pendingFailure_.clear();
    pendingCode_ = 0;
    uploadsDone_ = 0;
    std::string name;
    int port = 21;
    SplitHost(Host, name, port);
    hostName_ = name;
    if (name.empty())
        throw EFTPError("No FTP server is set.");
    if (port <= 0 || port > 65535)
        throw EFTPError("Bad port in \"" + Host + "\".");
    // Login data goes out as CP932; a changed character would only make the login fail without a reason.
    std::string user, password;
    if (!TryUtf8ToCp932(Username, user))
        throw EFTPError("The user name has a character that Shift_JIS (CP932) cannot hold; change it in the "
                        "job's server settings.");
    if (!TryUtf8ToCp932(Password, password))
        throw EFTPError("The password has a character that Shift_JIS (CP932) cannot hold; change it in the "
                        "job's server settings.");

    sessions_.push_back(std::make_unique<Session>());
    Session* s = sessions_.back().get();
    s->easy = curl_easy_init();
    s->multi = curl_multi_init();
    if (!s->easy || !s->multi) {
        Quit();
        throw EFTPError("The FTP library could not be initialised.");
    }
    CURL* e = s->easy;
    std::string hostPart = name.find(':') != std::string::npos ? "[" + name + "]" : name;
    // Implicit TLS speaks TLS from the first byte (ftps://); explicit TLS starts plain and sends AUTH TLS.
    s->baseUrl = std::string(UseTLS && !ExplicitTLS ? "ftps://" : "ftp://") + hostPart + ":" +
                 std::to_string(port) + "/";
    curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    // Names go to the server as the job formed them: "../" and "./" are not folded away.
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    // A download must not hang on SIZE: some servers refuse it for files they will send all the same.
    curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, s->errors);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Session::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, s);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Session::onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, s);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &Session::onRead);
    curl_easy_setopt(e, CURLOPT_READDATA, s);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &Session::onOpenSocket);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, s);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Session::onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, s);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &Session::onCloseSocket);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, s);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, Options.ConnectTimeoutMs);
    // The stall detection below ends a silent server; this bounds what libcurl waits for by itself (the
    // reply to QUIT, for example).
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, (Options.StallTimeoutMs + 999) / 1000 + 5);
    curl_easy_setopt(e, CURLOPT_ACCEPTTIMEOUT_MS, Options.ActiveAcceptTimeoutMs);
    curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
    for (const std::string& entry : Options.Resolve)
        s->resolve = curl_slist_append(s->resolve, entry.c_str());
    curl_easy_setopt(e, CURLOPT_RESOLVE, s->resolve);
    // libcurl before 8.0 sends active-mode data connections in clear even after PROT P: with TLS the
    // data connections are passive, so that no byte of the job goes out unencrypted.
    if (!Passive && !UseTLS)
        curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    if (UseTLS) {
        // PBSZ 0 and PROT P after the login; a server that refuses protected data connections gets no file
        // in clear: the connection fails instead. Explicit TLS starts with AUTH TLS.
        curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        if (ExplicitTLS)
            curl_easy_setopt(e, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        // TLS 1.2 and 1.3; nothing older.
        long version = Options.TlsVersion == 13   ? static_cast<long>(CURL_SSLVERSION_TLSv1_3)
                       : Options.TlsVersion == 12 ? static_cast<long>(CURL_SSLVERSION_TLSv1_2) |
                                                        static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2)
                                                  : static_cast<long>(CURL_SSLVERSION_TLSv1_2);
        curl_easy_setopt(e, CURLOPT_SSLVERSION, version);
        if (!Options.CAFile.empty())
            curl_easy_setopt(e, CURLOPT_CAINFO, Options.CAFile.c_str());
#ifdef _WIN32
        curl_easy_setopt(e, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
#endif
        // Certificates, host names and session resumption are the TLS hooks' (see TFTPTls).
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 0L);
        curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &TFTPTls::ContextFunction);
        s->tls = std::make_unique<TFTPTls>(name, TrustedFingerprint);
        curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, s->tls.get());
    }

    Request login;
    login.connect = true;
    runOnMain(std::move(login));
    connected_ = true;
    cwd_ = s->physical;
    known_.clear();
    if (!cwd_.empty())
        learnDirectory(cwd_);
}

void TFTPClient::start(Session& s, Request request) {
    CURL* e = s.easy;
    s.request = std::move(request);
    const Request& r = s.request;
    if (!r.quote.empty())
        s.quote = curl_slist_append(nullptr, ("*" + r.quote).c_str()); // '*': a refusal keeps the connection
    curl_easy_setopt(e, CURLOPT_QUOTE, s.quote);
    bool transfer = !r.path.empty();
    std::string url = s.baseUrl + (transfer ? percentEncode(Utf8ToCp932(r.path)) : "");
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_NOBODY, transfer ? 0L : 1L);
    curl_easy_setopt(e, CURLOPT_UPLOAD, r.upload ? 1L : 0L);
    s.tooLarge = false;
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, type_ == ftASCII ? 1L : 0L);
    s.asciiUpload = r.upload && type_ == ftASCII && CurlAddsCrOnAsciiUpload;
    s.heldCr = false;
    // The size on the wire of a converted text is not the file's.
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE,
                     static_cast<curl_off_t>(r.upload && !s.asciiUpload ? r.size : -1));
    s.writeFailed = false;
    s.lastReply.clear();
    s.lastCode = 0;
    s.errors[0] = '\0';
    s.moved = 0;
    s.reported = 0;
    s.refusedNewControl = false;
    s.aborted = 0;
    s.touch();
    s.busy = true;
    s.finished = false;
    curl_multi_add_handle(s.multi, e);
    Session* session = &s;
    try {
        s.worker = std::thread([this, session] {
            session->run();
            {
                std::lock_guard<std::mutex> lock(wakeMutex_);
                session->finished = true;
            }
            wake_.notify_all();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the request runs here, holding the window up meanwhile.
        s.run();
        s.finished = true;
    }
}

void TFTPClient::stop(Session& s, int why) {
    if (!s.busy)
        return;
    s.aborted = why;
    s.cut(); // a blocking wait inside libcurl ends with the connection
    curl_multi_wakeup(s.multi);
    if (s.worker.joinable())
        s.worker.join();
    finish(s, why);
}

void TFTPClient::finish(Session& s, int result) {
    if (s.worker.joinable())
        s.worker.join();
    s.closeLingering();
    if (s.aborted != 0)
        result = s.aborted;
    // libcurl tells the connection's socket only while the handle is in its multi handle.
    if (s.request.connect && result == CURLE_OK) {
        std::lock_guard<std::mutex> lock(s.socketMutex);
        curl_easy_getinfo(s.easy, CURLINFO_ACTIVESOCKET, &s.controlSocket);
    }
    curl_multi_remove_handle(s.multi, s.easy);
    curl_easy_setopt(s.easy, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(s.quote);
    s.quote = nullptr;
    s.busy = false;
    int64_t moved = s.moved;
    if (OnBytesMoved && moved > s.reported)
        OnBytesMoved(moved - s.reported);
    s.reported = moved;
    Request request = std::move(s.request);
    s.request = Request();
    if (request.done)
        request.done(s, result);
}

void TFTPClient::drive(const std::function<bool()>& until) {
    Clock::time_point lastPump = Clock::now();
    while (!until()) {
        bool connecting = false, busy = false;
        for (auto& s : sessions_) {
            if (!s->busy)
                continue;
            if (s->finished) {
                finish(*s, s->curlResult);
                continue;
            }
            busy = true;
            connecting = connecting || !s->ready;
            int64_t moved = s->moved;
            if (OnBytesMoved && moved > s->reported) {
                OnBytesMoved(moved - s->reported);
                s->reported = moved;
            }
        }
        if (until() || !busy)
            return;

        // The requests run on their threads; this one waits for the next to end, and keeps the window
        // system going every slice meanwhile.
        const long slice = connecting ? 125 : 250;
        {
            std::unique_lock<std::mutex> lock(wakeMutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(slice), [&] {
                for (auto& s : sessions_)
                    if (s->busy && s->finished)
                        return true;
                return false;
            });
        }
        if (ms(Clock::now() - lastPump) >= slice) {
            Prompts().ProcessMessages();
            lastPump = Clock::now();
        }
        if (CancelRequested()) {
            for (auto& s : sessions_)
                stop(*s, Cancelled);
            lose(ECancelled().what());
            throw ECancelled();
        }
        // Logging in has its own time-out; after it, a reply or data that stops moving is a stall.
        for (auto& s : sessions_)
            if (s->busy && s->ready && s->idleMs() > Options.StallTimeoutMs)
                stop(*s, Stalled);
    }
}

namespace {

// A failed TLS handshake in words a user can act on.
std::string tlsHandshakeFailure(const std::string& detail) {
    auto says = [&](const char* what) { return detail.find(what) != std::string::npos; };
    if (says("wrong version number") || says("packet length too long") || says("record layer failure"))
        return "The server did not answer in TLS (" + detail +
               "). If it offers explicit TLS (AUTH TLS) on this port, tick 明示的TLS(AUTH TLS); otherwise "
               "check "
               "the port.";
    if (says("unsupported protocol") || says("protocol version") || says("no protocols available"))
        return "The server offers no TLS version this program accepts (1.2 or 1.3) (" + detail +
               "). The host must enable TLS 1.2 or newer.";
    return "The TLS handshake with the server failed (" + detail + ").";
}

} // namespace

void TFTPClient::runOnMain(Request request) {
    if (sessions_.empty())
        requireConnection();
    Session& m = *sessions_.front();
    drive([&] { return !m.busy; }); // it may still be uploading
    throwPendingFailure();
    int result = CURLE_OK;
    bool done = false;
    request.done = [&](Session&, int r) {
        result = r;
        done = true;
    };
    bool connecting = request.connect;
    bool isCommand = !request.quote.empty();
    bool transfer = !request.path.empty();
    start(m, std::move(request));
    drive([&] { return done; });
    if (result == Cancelled) {
        lose(ECancelled().what());
        throw ECancelled();
    }
    if (connecting && result == CURLE_OK)
        m.loggedIn();
    if (result == CURLE_OK) {
        if (isCommand && m.lastCode >= 400)
            throw EFTPError(m.lastReply, m.lastCode);
        return;
    }

    // A download that found no file, or an upload the server refused to start, leaves the session usable;
    // after any other failure it ends here, and later calls report why.
    bool keepsConnection =
        transfer && (result == CURLE_REMOTE_FILE_NOT_FOUND || result == CURLE_WRITE_ERROR ||
                     result == CURLE_FTP_COULDNT_RETR_FILE || result == CURLE_UPLOAD_FAILED);
    bool tooLarge = m.tooLarge;
    int code = 0;
    std::string message = failureOf(m, result, connecting, code);
    if (connecting)
        Quit();
    else if (!keepsConnection)
        lose(message);
    if (tooLarge)
        throw EFTPTooLarge(message);
    throw EFTPError(message, code);
}

std::string TFTPClient::failureOf(const Session& m, int result, bool connecting, int& code) {
    code = 0;
    if (result == Stalled || (!connecting && result == CURLE_OPERATION_TIMEDOUT))
        return "The server stopped responding: nothing moved for " +
               std::to_string((Options.StallTimeoutMs + 999) / 1000) + " seconds.";
    if (connecting && result == CURLE_OPERATION_TIMEDOUT)
        return "Connect timed out.";
    if (m.tooLarge) // libcurl closes the connection after it: this is the reason
        return "サーバーのファイルが大きすぎるため(" + std::to_string(m.tooLargeLimit / (1024 * 1024)) +
               " MiB超)、取得を中止しました。";
    if (m.tls && m.tls->Rejected()) {
        certificateRejected_ = true;
        rejectedCertificate_ = m.tls->RejectedCertificate();
        return "The server's certificate was not trusted: " + rejectedCertificate_.Problem + ".";
    }
    if (result == CURLE_PEER_FAILED_VERIFICATION)
        return std::string("The server's certificate was not trusted: ") + m.errors;
    if (result == CURLE_USE_SSL_FAILED && m.tls && m.tls->ControlStarted())
        return "サーバーがデータ接続の暗号化(PROT "
               "P)を拒否しました。ファイルを暗号化せずに送ることはしません。"
               "サーバーの設定でデータ接続のTLSを有効にしてください(" +
               m.lastReply + ")。";
    if (result == CURLE_USE_SSL_FAILED)
        return "The server refused AUTH TLS: it offers no explicit TLS. If it speaks TLS from the first "
               "byte, "
               "untick 明示的TLS(AUTH TLS); if it has no TLS at all, untick SSL.";
    if (result == CURLE_SSL_CONNECT_ERROR)
        return tlsHandshakeFailure(m.errors);
    if (m.refusedNewControl || (!connecting && (m.controlClosed || result == CURLE_RECV_ERROR ||
                                                result == CURLE_SEND_ERROR || result == CURLE_GOT_NOTHING)))
        return "The connection to the server was lost.";
    if (result == CURLE_FTP_ACCEPT_TIMEOUT)
        return "The server did not open the data connection within " +
               std::to_string((Options.ActiveAcceptTimeoutMs + 999) / 1000) +
               " seconds (active mode). Turn on passive mode in the job's server settings.";
    if (m.writeFailed)
        return "The downloaded file could not be written.";
    if (m.lastCode >= 400) {
        code = m.lastCode;
        return m.lastReply;
    }
    return m.errors[0] ? std::string(m.errors) : curl_easy_strerror(static_cast<CURLcode>(result));
}

void TFTPClient::learnDirectory(const std::string& dir) {
    // A directory that exists has parents that exist.
    for (std::string d = dir;; d = JoinRemotePath(d, "..")) {
        if (std::find(known_.begin(), known_.end(), d) == known_.end())
            known_.push_back(d);
        if (d == "/")
            break;
    }
}

std::string TFTPClient::pathFor(const Session& session, const std::string& asGiven) const {
    if (cwd_.empty() || session.physical.empty() || session.physical == cwd_)
        return asGiven;
    return relativePath(session.physical, JoinRemotePath(cwd_, asGiven));
}

void TFTPClient::command(const std::string& verb, const std::string& argument, bool isPath) {
    requireConnection();
    std::string line = verb;
    if (isPath)
        line += " " + Utf8ToCp932(pathFor(*sessions_.front(), argument));
    Request r;
    r.quote = line;
    runOnMain(std::move(r));
}

void TFTPClient::ChangeDir(const std::string& dir) {
    requireConnection();
    if (cwd_.empty()) {
        command("CWD", dir, true); // where the login started is not known: as asked
        if (!dir.empty() && dir[0] == '/')
            cwd_ = sessions_.front()->physical = JoinRemotePath("/", dir);
        return;
    }
    std::string target = JoinRemotePath(cwd_, dir);
    if (std::find(known_.begin(), known_.end(), target) != known_.end()) {
        cwd_ = target; // no round trip: the answer is known
        return;
    }
    command("CWD", dir, true);
    cwd_ = sessions_.front()->physical = target;
    learnDirectory(target);
}

void TFTPClient::MakeDir(const std::string& dir) {
    // A directory made is not yet one entered: the CWD after it is still sent, and it decides.
    command("MKD", dir, true);
}

void TFTPClient::ChangeDirUp() {
    requireConnection();
    if (cwd_.empty()) {
        command("CDUP", "", false);
        return;
    }
    cwd_ = JoinRemotePath(cwd_, ".."); // a parent of a known directory is known
}

void TFTPClient::Rename(const std::string& from, const std::string& to) {
    renameFromRefused_ = true;
    command("RNFR", from, true);
    renameFromRefused_ = false;
    command("RNTO", to, true);
}

void TFTPClient::Delete(const std::string& name) {
    command("DELE", name, true);
}

void TFTPClient::Get(const std::string& remoteName, const std::string& localPath, int64_t maxBytes) {
    requireConnection();
    Request r;
    r.file = OwnedFd(::open(NativePath(localPath).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (r.file.get() < 0) {
        int code = errno;
        throw EFileError(code == EEXIST ? "The local file " + localPath + " already exists."
                                        : "Cannot create " + localPath + ": " + SystemErrorText(code),
                         code);
    }
    r.path = pathFor(*sessions_.front(), remoteName);
    r.maxBytes = maxBytes;
    try {
        runOnMain(std::move(r));
    } catch (...) {
        // Never leave part of a file behind: a half list would pass for the server's list.
        std::error_code ignored;
        std::filesystem::resize_file(NativePath(localPath), 0, ignored);
        throw;
    }
}

namespace {

OwnedFd openForUpload(const std::string& localPath, int64_t& size) {
    OwnedFd file(::open(NativePath(localPath).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        int code = file.get() < 0 ? errno : EISDIR;
        throw EFileError("Cannot open " + localPath + ": " + SystemErrorText(code), code);
    }
    size = static_cast<int64_t>(st.st_size);
    return file;
}

} // namespace

void TFTPClient::Put(const std::string& localPath, const std::string& remoteName) {
    requireConnection();
    Request r;
    r.file = openForUpload(localPath, r.size);
    r.upload = true;
    r.path = pathFor(*sessions_.front(), remoteName);
    runOnMain(std::move(r));
}

void TFTPClient::openExtraConnection() {
    const Session& main = *sessions_.front();
    auto session = std::make_unique<Session>();
    Session* s = session.get();
    s->easy = curl_easy_duphandle(main.easy);
    s->multi = curl_multi_init();
    if (!s->easy || !s->multi)
        return;
    sessions_.push_back(std::move(session));
    CURL* e = s->easy;
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, s->errors);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, s);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, s);
    curl_easy_setopt(e, CURLOPT_READDATA, s);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, s);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, s);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, s);
    curl_easy_setopt(e, CURLOPT_QUOTE, nullptr);
    for (const std::string& entry : Options.Resolve)
        s->resolve = curl_slist_append(s->resolve, entry.c_str());
    curl_easy_setopt(e, CURLOPT_RESOLVE, s->resolve);
    s->baseUrl = main.baseUrl;
    if (main.tls) {
        s->tls = std::make_unique<TFTPTls>(hostName_, TrustedFingerprint);
        curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, s->tls.get());
    }
    Request login;
    login.connect = true;
    // A server that refuses more logins (421, 530, too many from one address) is used with the
    // connections it accepted, and no further one is tried.
    login.done = [this](Session& session, int result) {
        if (result == CURLE_OK) {
            session.loggedIn();
        } else {
            session.lost = true;
            refusedMore_ = true;
        }
    };
    start(*s, std::move(login));
}

TFTPClient::Session* TFTPClient::freeConnection() {
    for (size_t i = 1; i < sessions_.size(); ++i)
        if (sessions_[i]->ready && !sessions_[i]->busy && !sessions_[i]->lost)
            return sessions_[i].get();
    return sessions_.front()->busy ? nullptr : sessions_.front().get();
}

void TFTPClient::WaitForFreeConnection() {
    requireConnection();
    throwPendingFailure();
    // One more connection when every one is busy, up to the limit: a few changed files cost no logins
    // they do not need. Paths must be told from where each connection is, so the login directory must be
    // known.
    if (!freeConnection() && !refusedMore_ && !cwd_.empty() && !sessions_.front()->physical.empty()) {
        int usable = 0;
        bool connecting = false;
        for (auto& s : sessions_) {
            usable += !s->lost;
            connecting = connecting || (!s->ready && !s->lost);
        }
        if (!connecting && usable < Connections)
            openExtraConnection();
    }
    drive([&] { return freeConnection() != nullptr || !pendingFailure_.empty(); });
    throwPendingFailure();
}

void TFTPClient::ThrowIfUploadFailed() {
    requireConnection();
    // Uploads that have ended are taken in first, so that a failure is told as soon as it is known.
    for (auto& s : sessions_)
        if (s->busy && s->finished)
            finish(*s, s->curlResult);
    throwPendingFailure();
}

void TFTPClient::StartPut(const std::string& localPath, const std::string& remoteName) {
    WaitForFreeConnection();
    Session* s = freeConnection();
    Request r;
    r.file = openForUpload(localPath, r.size);
    r.upload = true;
    r.path = pathFor(*s, remoteName);
    r.done = [this, remoteName](Session& session, int result) {
        if (result == CURLE_OK && session.lastCode < 400) {
            ++uploadsDone_;
            return;
        }
        if (result == Aborted || result == Cancelled)
            return; // the run is ending; the caller hears of the cancel itself
        if (pendingFailure_.empty())
            pendingFailure_ =
                remoteName + "のアップロードに失敗しました：" +
                failureOf(session, result == CURLE_OK ? CURLE_UPLOAD_FAILED : result, false, pendingCode_);
        session.lost = true;
        session.ready = false;
        session.cut();
    };
    start(*s, std::move(r));
}

void TFTPClient::WaitForUploads() {
    requireConnection();
    drive([&] {
        for (auto& s : sessions_)
            if (s->busy && s->request.upload)
                return false;
        return true;
    });
    throwPendingFailure();
}

void TFTPClient::Quit() {
    connected_ = false;
    for (auto& s : sessions_)
        stop(*s, Aborted);
    closeSessions();
    refusedMore_ = false;
    cwd_.clear();
    known_.clear();
}

void TFTPClient::closeSessions() {
    if (sessions_.empty())
        return;
    // A lost connection, or any after the user cancelled or an upload failed, is cut rather than spoken to:
    // nobody waits for the goodbye of a server that may have stopped answering.
    const bool hurry = CancelRequested() || !pendingFailure_.empty();
    for (auto& s : sessions_)
        if (s->lost || hurry)
            s->cut();
    // The others get QUIT, all at once on threads of their own, while this thread keeps the window
    // system going; a server that does not answer in time is cut off.
    std::atomic<size_t> open{sessions_.size()};
    std::vector<std::thread> closers;
    for (auto it = sessions_.rbegin(); it != sessions_.rend(); ++it) {
        Session* s = it->get();
        try {
            closers.emplace_back([s, &open, this] {
                s->cleanup();
                {
                    std::lock_guard<std::mutex> lock(wakeMutex_);
                    --open;
                }
                wake_.notify_all();
            });
        } catch (const std::system_error&) {
            s->cut(); // no thread to be had: close here, without waiting for the server
            s->cleanup();
            --open;
        }
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(Options.QuitTimeoutMs);
    bool cutOff = false;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(wakeMutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(100), [&] { return open == 0; });
        }
        if (open == 0)
            break;
        Prompts().ProcessMessages();
        if (!cutOff && (Clock::now() >= deadline || CancelRequested())) {
            for (auto& s : sessions_)
                s->cut();
            cutOff = true;
        }
    }
    for (std::thread& closer : closers)
        closer.join();
    sessions_.clear();
}
