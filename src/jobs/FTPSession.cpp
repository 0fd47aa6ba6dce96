#include "FTPSession.h"

#include "RemotePath.h"
#include "platform/Cp932.h"
#include "platform/Sockets.h"

#include <chrono>

namespace {

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void TFTPSession::closeLingering() {
    for (curl_socket_t socket : lingering) {
        DrainSocket(socket);
        CloseSocket(socket);
    }
    lingering.clear();
}

TFTPSession::~TFTPSession() {
    if (worker.joinable()) {
        aborted = TStop::Aborted;
        cut();
        worker.join();
    }
    cleanup();
    closeLingering();
}

size_t TFTPSession::readAscii(char* buffer, size_t room) {
    for (;;) {
        // Room for a held CR that turns out to stand alone, and for a CR before each LF where libcurl adds
        // none.
        size_t want = (room - (heldCr ? 1 : 0)) / (asciiAddsCr ? 2 : 1);
        scratch.resize(want);
        int64_t r = request.file.Read(scratch.data(), want);
        if (r < 0)
            return CURL_READFUNC_ABORT;
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
            if (c == '\r') {
                heldCr = true;
                continue;
            }
            if (c == '\n' && asciiAddsCr)
                buffer[out++] = '\r';
            buffer[out++] = c;
        }
        if (out > 0) // nothing to hand over yet is no end of the file
            return out;
    }
}

void TFTPSession::cleanup() {
    // Cleaning up the handles sends QUIT on a live control connection and closes it.
    multi.reset();
    easy.reset();
    curl_slist_free_all(resolve);
    resolve = nullptr;
    established = false;
}

// Cuts the control connection at once, so that cleaning up never waits on a server that stalled.
void TFTPSession::cut() {
    std::lock_guard<std::mutex> lock(socketMutex);
    if (controlSocket != CURL_SOCKET_BAD && !controlClosed)
        ShutdownSocket(controlSocket, true);
}

void TFTPSession::loggedIn() {
    curl_easy_getinfo(easy.get(), CURLINFO_PRIMARY_PORT, &controlPort);
    char* entry = nullptr;
    curl_easy_getinfo(easy.get(), CURLINFO_FTP_ENTRY_PATH, &entry);
    physical = entry && entry[0] == '/' ? JoinRemotePath("/", Cp932ToUtf8(entry)) : std::string();
    established = true;
    ready = true;
}

size_t TFTPSession::onHeader(char* data, size_t size, size_t n, void* self) {
    auto* s = static_cast<TFTPSession*>(self);
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

size_t TFTPSession::onWrite(char* data, size_t size, size_t n, void* self) {
    auto* s = static_cast<TFTPSession*>(self);
    size_t total = size * n;
    if (s->request.maxBytes >= 0 && s->moved + static_cast<int64_t>(total) > s->request.maxBytes) {
        s->tooLarge = true;
        s->tooLargeLimit = s->request.maxBytes;
        return 0;
    }
    if (!s->request.file.WriteAll(data, total)) {
        s->writeFailed = true;
        return 0;
    }
    s->movedData(static_cast<int64_t>(total));
    return total;
}

size_t TFTPSession::onRead(char* buffer, size_t size, size_t n, void* self) {
    auto* s = static_cast<TFTPSession*>(self);
    if (s->asciiUpload)
        return s->readAscii(buffer, size * n);
    int64_t r = s->request.file.Read(buffer, size * n);
    if (r < 0)
        return CURL_READFUNC_ABORT;
    s->movedData(r);
    return static_cast<size_t>(r);
}

void TFTPSession::touch() {
    movedAtActivity = moved;
    lastActivityMs = nowMs();
}

// Data counts as progress only at a byte a second or more since the last progress: a server that
// drips a byte now and then is as stuck as a silent one.
void TFTPSession::movedData(int64_t bytes) {
    moved += bytes;
    int64_t now = nowMs();
    if ((moved - movedAtActivity) * 1000 >= now - lastActivityMs) {
        movedAtActivity = moved;
        lastActivityMs = now;
    }
}

// libcurl calls this also while it waits for a reply by itself: the client's stop ends the wait.
int TFTPSession::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<TFTPSession*>(self)->aborted != TStop::None ? 1 : 0;
}

void TFTPSession::run() {
    for (;;) {
        int running = 0;
        curl_multi_perform(multi.get(), &running);
        if (running == 0 || aborted != TStop::None)
            break;
        curl_multi_poll(multi.get(), nullptr, 0, 100, nullptr);
    }
    int left = 0;
    curlResult = aborted != TStop::None ? CURLE_ABORTED_BY_CALLBACK : CURLE_OK;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left))
        if (msg->msg == CURLMSG_DONE)
            curlResult = msg->data.result;
}

curl_socket_t TFTPSession::onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
    auto* s = static_cast<TFTPSession*>(self);
    // Data connections go to other ports; a connection to the control port, or any connection at all
    // once the control connection has closed, would be a new login.
    if (s->established && purpose == CURLSOCKTYPE_IPCXN &&
        (s->controlClosed || PortOfSocketAddress(&address->addr) == s->controlPort)) {
        s->refusedNewControl = true;
        return CURL_SOCKET_BAD;
    }
    return static_cast<curl_socket_t>(OpenSocket(address->family, address->socktype, address->protocol));
}

int TFTPSession::onCloseSocket(void* self, curl_socket_t socket) {
    auto* s = static_cast<TFTPSession*>(self);
    std::lock_guard<std::mutex> lock(s->socketMutex);
    if (s->established && socket == s->controlSocket) {
        s->controlClosed = true;
    } else if (s->tls) {
        // A TLS data connection must not close before the server has read all of it: data of the
        // server's arriving after the close (TLS 1.3 session tickets, its close_notify) would reset the
        // connection, and a reset makes the server lose the end of an upload (vsftpd answers 426). So
        // the socket only stops sending now and is closed once the request has ended, when the
        // server's reply says it has everything.
        ShutdownSocket(socket, false);
        s->lingering.push_back(socket);
        return 0;
    }
    return CloseSocket(socket);
}

long TFTPSession::idleMs() const {
    return static_cast<long>(nowMs() - lastActivityMs);
}
