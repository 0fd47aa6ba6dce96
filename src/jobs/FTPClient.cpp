#include "FTPClient.h"

#include "platform/Cp932.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "platform/UserPrompts.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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

} // namespace

struct TFTPClient::Impl {
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    char errors[CURL_ERROR_SIZE] = {};
    std::string lastReply; // the last complete reply line of this request
    int lastCode = 0;
    // The control connection. Once it stands, libcurl must never open another one: a new login would
    // silently start in the login directory, and the files after it would land there.
    curl_socket_t controlSocket = CURL_SOCKET_BAD;
    long controlPort = 0;
    bool established = false;
    bool controlClosed = false;
    bool refusedNewControl = false;
    std::string baseUrl; // scheme, host and port, ending with '/'
    // Current request.
    int fd = -1;
    bool writeFailed = false;
    int64_t moved = 0;
    Clock::time_point lastActivity;

    static size_t onHeader(char* data, size_t size, size_t n, void* self) {
        auto* impl = static_cast<Impl*>(self);
        impl->lastActivity = Clock::now();
        std::string line(data, size * n);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
            std::isdigit(static_cast<unsigned char>(line[1])) &&
            std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ') {
            // Servers answer in UTF-8 or in the platform's CP932; valid UTF-8 is practically never CP932.
            impl->lastReply = IsValidUtf8(line) ? line : Cp932ToUtf8(line);
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
        impl->moved += static_cast<int64_t>(total);
        impl->lastActivity = Clock::now();
        return total;
    }

    static size_t onRead(char* buffer, size_t size, size_t n, void* self) {
        auto* impl = static_cast<Impl*>(self);
        for (;;) {
            ssize_t r = ::read(impl->fd, buffer, size * n);
            if (r >= 0) {
                impl->moved += r;
                impl->lastActivity = Clock::now();
                return static_cast<size_t>(r);
            }
            if (errno != EINTR)
                return CURL_READFUNC_ABORT;
        }
    }

    static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
        auto* impl = static_cast<Impl*>(self);
        // Data connections go to other ports; a connection to the control port, or any connection at all
        // once the control connection has closed, would be a new login.
        if (impl->established && purpose == CURLSOCKTYPE_IPCXN &&
            (impl->controlClosed || portOf(address) == impl->controlPort)) {
            impl->refusedNewControl = true;
            return CURL_SOCKET_BAD;
        }
        return ::socket(address->family, address->socktype, address->protocol);
    }

    static int onCloseSocket(void* self, curl_socket_t socket) {
        auto* impl = static_cast<Impl*>(self);
        if (impl->established && socket == impl->controlSocket)
            impl->controlClosed = true;
        return ::close(socket);
    }

    // Cuts the control connection at once, so that cleaning up never waits on a server that stalled.
    void cut() {
        if (controlSocket != CURL_SOCKET_BAD && !controlClosed)
            ::shutdown(controlSocket, SHUT_RDWR);
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

void TFTPClient::lose(const std::string& reason) {
    impl_->cut();
    Quit();
    lostReason_ = reason;
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
    // Names go to the server as the job formed them: "../" and "./" are not folded away.
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    // A download must not hang on SIZE: some servers refuse it for files they will send all the same.
    curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
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
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &Impl::onCloseSocket);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, impl_);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, Options.ConnectTimeoutMs);
    // The client's own stall detection below ends a silent server; this bounds what libcurl waits for by
    // itself (the reply to QUIT, for example).
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, (Options.StallTimeoutMs + 999) / 1000);
    curl_easy_setopt(e, CURLOPT_ACCEPTTIMEOUT_MS, Options.ActiveAcceptTimeoutMs);
    curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_slist* resolve = nullptr;
    for (const std::string& entry : Options.Resolve)
        resolve = curl_slist_append(resolve, entry.c_str());
    curl_easy_setopt(e, CURLOPT_RESOLVE, resolve);
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
        curl_slist_free_all(resolve);
        Quit();
        throw;
    }
    curl_slist_free_all(resolve);
    curl_easy_setopt(e, CURLOPT_RESOLVE, nullptr);
    curl_socket_t socket = CURL_SOCKET_BAD;
    curl_easy_getinfo(e, CURLINFO_ACTIVESOCKET, &socket);
    impl_->controlSocket = socket;
    curl_easy_getinfo(e, CURLINFO_PRIMARY_PORT, &impl_->controlPort);
    char* entry = nullptr;
    curl_easy_getinfo(e, CURLINFO_FTP_ENTRY_PATH, &entry);
    cwd_ = entry && entry[0] == '/' ? JoinRemotePath("/", Cp932ToUtf8(entry)) : std::string();
    impl_->established = true;
    connected_ = true;
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
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(upload ? size : -1));
    impl_->fd = fd;
    impl_->writeFailed = false;
    impl_->lastReply.clear();
    impl_->lastCode = 0;
    impl_->errors[0] = '\0';
    impl_->moved = 0;
    impl_->refusedNewControl = false;

    curl_multi_add_handle(impl_->multi, e);
    CURLcode result = CURLE_OK;
    bool cancelled = false, stalled = false;
    Clock::time_point lastPump = Clock::now();
    impl_->lastActivity = lastPump;
    int64_t reported = -1;
    for (;;) {
        int running = 0;
        curl_multi_perform(impl_->multi, &running);
        if (running == 0)
            break;
        if (transfer && OnTransferProgress && impl_->moved != reported) {
            reported = impl_->moved;
            OnTransferProgress(impl_->moved, upload ? size : 0);
        }
        int events = 0;
        curl_multi_poll(impl_->multi, nullptr, 0, connecting ? 125 : 250, &events);
        // Pumping also while data moves, at the same pace, so that the user's cancel reaches the run.
        Clock::time_point now = Clock::now();
        if (events == 0 || ms(now - lastPump) >= 250) {
            Prompts().ProcessMessages();
            lastPump = Clock::now();
        }
        if (CancelRequested()) {
            cancelled = true;
            break;
        }
        // Connecting has its own time-out; after it, a reply or data that stops moving is a stall.
        if (!connecting && ms(Clock::now() - impl_->lastActivity) > Options.StallTimeoutMs) {
            stalled = true;
            break;
        }
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(impl_->multi, &left))
        if (msg->msg == CURLMSG_DONE)
            result = msg->data.result;
    if (cancelled || stalled)
        impl_->cut(); // before the handle goes, so that libcurl does not wait on the server
    curl_multi_remove_handle(impl_->multi, e);
    curl_easy_setopt(e, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(quote);

    if (cancelled) {
        lose(ECancelled().what());
        throw ECancelled();
    }
    if (stalled) {
        std::string message = "The server stopped responding: nothing moved for " +
                              std::to_string((Options.StallTimeoutMs + 999) / 1000) + " seconds.";
        if (connected_)
            lose(message);
        else
            Quit();
        throw EFTPError(message);
    }
    if (result == CURLE_OK && !command.empty() && impl_->lastCode >= 400)
        throw EFTPError(impl_->lastReply, impl_->lastCode);
    if (result == CURLE_OK)
        return;

    // A download that found no file leaves the session usable; after any other failure it ends here, and
    // later calls report why.
    bool keepsConnection = result == CURLE_REMOTE_FILE_NOT_FOUND || result == CURLE_WRITE_ERROR ||
                           result == CURLE_FTP_COULDNT_RETR_FILE;
    std::string message;
    int code = 0;
    if (connecting && result == CURLE_OPERATION_TIMEDOUT)
        message = "Connect timed out.";
    else if (result == CURLE_PEER_FAILED_VERIFICATION)
        message = std::string("The server's certificate was not trusted: ") + impl_->errors;
    else if (impl_->refusedNewControl ||
             (connected_ && (impl_->controlClosed || result == CURLE_RECV_ERROR ||
                             result == CURLE_SEND_ERROR || result == CURLE_GOT_NOTHING)))
        message = "The connection to the server was lost.";
    else if (result == CURLE_FTP_ACCEPT_TIMEOUT)
        message = "The server did not open the data connection within " +
                  std::to_string((Options.ActiveAcceptTimeoutMs + 999) / 1000) +
                  " seconds (active mode). Turn on passive mode in the job's server settings.";
    else if (impl_->writeFailed)
        message = "The downloaded file could not be written.";
    else if (impl_->lastCode >= 400) {
        message = impl_->lastReply;
        code = impl_->lastCode;
    } else
        message = impl_->errors[0] ? std::string(impl_->errors) : curl_easy_strerror(result);
    if (!keepsConnection && connected_)
        lose(message);
    throw EFTPError(message, code);
}

void TFTPClient::command(const std::string& line) {
    requireConnection();
    perform(line, "", false, -1, 0);
}

void TFTPClient::ChangeDir(const std::string& dir) {
    command("CWD " + Utf8ToCp932(dir));
    if (!cwd_.empty() || (!dir.empty() && dir[0] == '/'))
        cwd_ = JoinRemotePath(cwd_.empty() ? "/" : cwd_, dir);
}

void TFTPClient::MakeDir(const std::string& dir) {
    command("MKD " + Utf8ToCp932(dir));
}

void TFTPClient::ChangeDirUp() {
    command("CDUP");
    if (!cwd_.empty())
        cwd_ = JoinRemotePath(cwd_, "..");
}

void TFTPClient::Rename(const std::string& from, const std::string& to) {
    renameFromRefused_ = true;
    command("RNFR " + Utf8ToCp932(from));
    renameFromRefused_ = false;
    command("RNTO " + Utf8ToCp932(to));
}

void TFTPClient::Delete(const std::string& name) {
    command("DELE " + Utf8ToCp932(name));
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
    // Cleaning up the handles sends QUIT on a live control connection and closes it.
    if (impl_->multi) {
        curl_multi_cleanup(impl_->multi);
        impl_->multi = nullptr;
    }
    if (impl_->easy) {
        curl_easy_cleanup(impl_->easy);
        impl_->easy = nullptr;
    }
    impl_->established = false;
    impl_->controlClosed = false;
    cwd_.clear();
    impl_->controlSocket = CURL_SOCKET_BAD;
}
