#include "FTPClient.h"

#include "platform/Cp932.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/UserPrompts.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

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

} // namespace

struct TFTPClient::Impl {
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    char errors[CURL_ERROR_SIZE] = {};
    std::string lastReply; // the last complete reply line of this request
    int lastCode = 0;
    // The control connection's address: once connected, the client must never open another one, since a
    // new connection would silently start in the login directory.
    std::string controlIp;
    long controlPort = 0;
    std::string baseUrl; // scheme, host and port, ending with '/'
    bool refuseNewControl = false;
    // Current transfer.
    int fd = -1;
    bool writeFailed = false;
    // An ASCII-type upload of a text whose lines may already end with CR LF: each CR LF is handed to
    // libcurl as LF, which it sends as CR LF, so that the wire carries CR LF once, never CR CR LF.
    bool asciiUpload = false;
    bool heldCr = false; // a CR at the end of the last read, not known yet to start a CR LF
    std::vector<char> scratch;

    size_t readAscii(char* buffer, size_t room) {
        for (;;) {
            size_t want = room - (heldCr ? 1 : 0); // room for a held CR that turns out to stand alone
            scratch.resize(want);
            ssize_t r = ::read(fd, scratch.data(), want);
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

    static size_t onHeader(char* data, size_t size, size_t n, void* self) {
        auto* impl = static_cast<Impl*>(self);
        std::string line(data, size * n);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
            std::isdigit(static_cast<unsigned char>(line[1])) &&
            std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ') {
            impl->lastReply = Cp932ToUtf8(line);
            impl->lastCode = std::stoi(line.substr(0, 3));
        }
        return size * n;
    }

    static size_t onWrite(char* data, size_t size, size_t n, void* self) {
        auto* impl = static_cast<Impl*>(self);
        size_t total = size * n;
        size_t done = 0;
        while (done < total) {
            ssize_t w = ::write(impl->fd, data + done, total - done);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                impl->writeFailed = true;
                return 0;
            }
            done += static_cast<size_t>(w);
        }
        return total;
    }

    static size_t onRead(char* buffer, size_t size, size_t n, void* self) {
        auto* impl = static_cast<Impl*>(self);
        if (impl->asciiUpload)
            return impl->readAscii(buffer, size * n);
        for (;;) {
            ssize_t r = ::read(impl->fd, buffer, size * n);
            if (r >= 0)
                return static_cast<size_t>(r);
            if (errno != EINTR)
                return CURL_READFUNC_ABORT;
        }
    }

    static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
        auto* impl = static_cast<Impl*>(self);
        if (impl->refuseNewControl && purpose == CURLSOCKTYPE_IPCXN) {
            char ip[INET6_ADDRSTRLEN] = {};
            long port = 0;
            if (address->family == AF_INET) {
                auto* in = reinterpret_cast<sockaddr_in*>(&address->addr);
                inet_ntop(AF_INET, &in->sin_addr, ip, sizeof ip);
                port = ntohs(in->sin_port);
            } else if (address->family == AF_INET6) {
                auto* in6 = reinterpret_cast<sockaddr_in6*>(&address->addr);
                inet_ntop(AF_INET6, &in6->sin6_addr, ip, sizeof ip);
                port = ntohs(in6->sin6_port);
            }
            if (port == impl->controlPort && impl->controlIp == ip)
                return CURL_SOCKET_BAD;
        }
        return ::socket(address->family, address->socktype, address->protocol);
    }
};

TFTPClient::TFTPClient() : impl_(new Impl) {
    static CurlGlobal global;
}

TFTPClient::~TFTPClient() {
    Quit();
    delete impl_;
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

void TFTPClient::requireConnection() const {
    if (!connected_)
        throw EFTPError(lostReason_.empty() ? "Not connected." : lostReason_);
}

void TFTPClient::Connect() {
    Quit();
    lostReason_.clear();
    std::string name;
    int port = 21;
    SplitHost(Host, name, port);
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
    impl_->easy = curl_easy_init();
    impl_->multi = curl_multi_init();
    if (!impl_->easy || !impl_->multi)
        throw EFTPError("The FTP library could not be initialised.");
    CURL* e = impl_->easy;
    std::string hostPart = name.find(':') != std::string::npos ? "[" + name + "]" : name;
    impl_->baseUrl = std::string(UseTLS ? "ftps://" : "ftp://") + hostPart + ":" + std::to_string(port) + "/";
    curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, impl_->errors);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, impl_);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, impl_);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &Impl::onRead);
    curl_easy_setopt(e, CURLOPT_READDATA, impl_);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &Impl::onOpenSocket);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, impl_);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, Options.ConnectTimeoutMs);
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, (Options.ResponseTimeoutMs + 999) / 1000);
    curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
    if (!Passive)
        curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    if (UseTLS) {
        // Protected data connections where the server accepts them, clear ones otherwise. TLS 1.2 as the
        // ceiling: with 1.3, servers that demand session resumption on data connections refuse uploads.
        curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
        curl_easy_setopt(e, CURLOPT_SSLVERSION,
                         static_cast<long>(CURL_SSLVERSION_TLSv1_2) |
                             static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
        if (!Options.CAFile.empty())
            curl_easy_setopt(e, CURLOPT_CAINFO, Options.CAFile.c_str());
    }

    try {
        perform("", "", false, -1, 0);
    } catch (...) {
        Quit();
        throw;
    }
    char* ip = nullptr;
    curl_easy_getinfo(e, CURLINFO_PRIMARY_IP, &ip);
    impl_->controlIp = ip ? ip : "";
    curl_easy_getinfo(e, CURLINFO_PRIMARY_PORT, &impl_->controlPort);
    impl_->refuseNewControl = true;
    connected_ = true;
}

void TFTPClient::perform(const std::string& command, const std::string& path, bool upload, int fd,
                         int64_t size) {
    CURL* e = impl_->easy;
    bool connecting = !connected_;
    curl_slist* quote = nullptr;
    if (!command.empty())
        quote = curl_slist_append(nullptr,
                                  ("*" + command).c_str()); // '*': a refusal must not drop the connection
    curl_easy_setopt(e, CURLOPT_QUOTE, quote);
    bool transfer = !path.empty();
    std::string url = impl_->baseUrl + (transfer ? percentEncode(Utf8ToCp932(path)) : "");
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_NOBODY, transfer ? 0L : 1L);
    curl_easy_setopt(e, CURLOPT_UPLOAD, upload ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, type_ == ftASCII ? 1L : 0L);
    impl_->asciiUpload = upload && type_ == ftASCII && CurlAddsCrOnAsciiUpload;
    impl_->heldCr = false;
    // The size on the wire of a converted text is not the file's.
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE,
                     static_cast<curl_off_t>(upload && !impl_->asciiUpload ? size : -1));
    impl_->fd = fd;
    impl_->writeFailed = false;
    impl_->lastReply.clear();
    impl_->lastCode = 0;
    impl_->errors[0] = '\0';

    curl_multi_add_handle(impl_->multi, e);
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        curl_multi_perform(impl_->multi, &running);
        if (running == 0)
            break;
        int events = 0;
        curl_multi_poll(impl_->multi, nullptr, 0, connecting ? 125 : 250, &events);
        if (events == 0)
            Prompts().ProcessMessages();
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(impl_->multi, &left))
        if (msg->msg == CURLMSG_DONE)
            result = msg->data.result;
    curl_multi_remove_handle(impl_->multi, e);
    curl_easy_setopt(e, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(quote);

    if (result == CURLE_OK && !command.empty() && impl_->lastCode >= 400)
        throw EFTPError(impl_->lastReply);
    if (result == CURLE_OK)
        return;

    // A download that found no file leaves the session usable; after any other failure it ends here, and
    // later calls report why.
    bool keepsConnection = result == CURLE_REMOTE_FILE_NOT_FOUND || result == CURLE_WRITE_ERROR ||
                           result == CURLE_FTP_COULDNT_RETR_FILE;
    std::string message;
    if (connecting && result == CURLE_OPERATION_TIMEDOUT)
        message = "Connect timed out.";
    else if (result == CURLE_PEER_FAILED_VERIFICATION)
        message = std::string("The server's certificate was not trusted: ") + impl_->errors;
    else if (result == CURLE_COULDNT_CONNECT && impl_->refuseNewControl)
        message = "The connection to the server was lost.";
    else if (impl_->writeFailed)
        message = "The downloaded file could not be written.";
    else if (impl_->lastCode >= 400)
        message = impl_->lastReply;
    else
        message = impl_->errors[0] ? std::string(impl_->errors) : curl_easy_strerror(result);
    if (!keepsConnection && connected_) {
        Quit();
        lostReason_ = message;
    }
    throw EFTPError(message);
}

void TFTPClient::ChangeDir(const std::string& dir) {
    requireConnection();
    perform("CWD " + Utf8ToCp932(dir), "", false, -1, 0);
}

void TFTPClient::MakeDir(const std::string& dir) {
    requireConnection();
    perform("MKD " + Utf8ToCp932(dir), "", false, -1, 0);
}

void TFTPClient::ChangeDirUp() {
    requireConnection();
    perform("CDUP", "", false, -1, 0);
}

void TFTPClient::Get(const std::string& remoteName, const std::string& localPath) {
    requireConnection();
    int fd = ::open(NativePath(localPath).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        int code = errno;
        throw EFileError(code == EEXIST ? "The local file " + localPath + " already exists."
                                        : "Cannot create " + localPath + ": " + SystemErrorText(code),
                         code);
    }
    try {
        perform("", remoteName, false, fd, 0);
    } catch (...) {
        // Never leave part of a file behind: a half list would pass for the server's list.
        if (::ftruncate(fd, 0) != 0) {
        }
        ::close(fd);
        throw;
    }
    ::close(fd);
}

void TFTPClient::Put(const std::string& localPath, const std::string& remoteName) {
    requireConnection();
    int fd = ::open(NativePath(localPath).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int code = fd < 0 ? errno : EISDIR;
        if (fd >= 0)
            ::close(fd);
        throw EFileError("Cannot open " + localPath + ": " + SystemErrorText(code), code);
    }
    try {
        perform("", remoteName, true, fd, static_cast<int64_t>(st.st_size));
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

void TFTPClient::Quit() {
    connected_ = false;
    impl_->refuseNewControl = false;
    // Cleaning up the handles sends QUIT on a live control connection and closes it.
    if (impl_->multi) {
        curl_multi_cleanup(impl_->multi);
        impl_->multi = nullptr;
    }
    if (impl_->easy) {
        curl_easy_cleanup(impl_->easy);
        impl_->easy = nullptr;
    }
}
