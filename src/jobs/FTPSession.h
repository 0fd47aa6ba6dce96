#pragma once

// One control connection of the FTP client: its libcurl handles, the thread its requests run on, and the
// libcurl callbacks, which touch nothing but their session. Used by TFTPClient only.

#include "FTPTls.h"
#include "platform/File.h"

#include <atomic>
#include <cstdint>
#include <curl/curl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

/// Why the client stopped a request before libcurl ended it.
enum class TStop : int { None, Stalled, Cancelled, Aborted };

/// How a request ended: libcurl's code, unless the client stopped it.
struct TRequestResult {
    CURLcode code = CURLE_OK;
    TStop stop = TStop::None;
    bool Ok() const { return stop == TStop::None && code == CURLE_OK; }
};

struct TCurlEasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct TCurlMultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

class TFTPSession;

/// One request on one connection.
struct TFTPRequest {
    std::string quote; // a command (CP932) to send alone, or empty
    std::string path;  // the remote path of a transfer (UTF-8), or empty
    bool upload = false;
    bool connect = false;
    TFile file;            // the local file of a transfer, closed when the request ends
    int64_t size = 0;      // of an upload
    int64_t maxBytes = -1; // of a download: more is refused
    std::function<void(TFTPSession&, TRequestResult)> done;
};

// One control connection with its own libcurl handles, so that no connection is ever taken over by another
// transfer (libcurl would otherwise hand an idle one to whichever transfer comes next).
/// One control connection with its own libcurl handles, so that no connection is ever taken over by another
/// transfer (libcurl would otherwise hand an idle one to whichever transfer comes next).
class TFTPSession {
public:
    std::unique_ptr<TFTPTls> tls; // for TLS: before the handles, which refer to it
    std::unique_ptr<CURL, TCurlEasyDeleter> easy;
    std::unique_ptr<CURLM, TCurlMultiDeleter> multi; // cleaned up first: it sends QUIT
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
    TFTPRequest request;
    bool writeFailed = false;
    bool tooLarge = false; // a download passed its request's maxBytes
    int64_t tooLargeLimit = 0;
    // A request runs on a thread of its own, so that libcurl's waits (it waits for the reply after an
    // upload by itself, blocking) hold up neither the window system nor the other connections. The
    // callbacks below run there and touch nothing but their session; the client reads these.
    std::thread worker;
    std::atomic<bool> finished{false};
    CURLcode curlResult = CURLE_OK;
    std::atomic<int64_t> moved{0};
    int64_t reported = 0;
    std::atomic<int64_t> lastActivityMs{0};
    int64_t movedAtActivity = 0;             // `moved` when lastActivityMs was last set
    std::atomic<TStop> aborted{TStop::None}; // set when the client stops the request
    // An ASCII-type upload of a text whose lines may already end with CR LF: each CR LF is handed to
    // libcurl as LF, which it sends as CR LF, so that the wire carries CR LF once, never CR CR LF.
    bool asciiUpload = false;
    bool asciiAddsCr = false; // an ASCII upload turns LF into CR LF itself (libcurl does not on Windows)
    bool heldCr = false;      // a CR at the end of the last read, not known yet to start a CR LF
    std::vector<char> scratch;
    std::vector<curl_socket_t> lingering; // data sockets closed for libcurl but not yet for the server

    long idleMs() const;

    void closeLingering();
    ~TFTPSession();
    size_t readAscii(char* buffer, size_t room);
    void cleanup();
    // Cuts the control connection at once, so that cleaning up never waits on a server that stalled.
    void cut();
    void loggedIn();
    static size_t onHeader(char* data, size_t size, size_t n, void* self);
    static size_t onWrite(char* data, size_t size, size_t n, void* self);
    static size_t onRead(char* buffer, size_t size, size_t n, void* self);
    void touch();
    // Data counts as progress only at a byte a second or more since the last progress: a server that
    // drips a byte now and then is as stuck as a silent one.
    void movedData(int64_t bytes);
    // libcurl calls this also while it waits for a reply by itself: the client's stop ends the wait.
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    void run();
    static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
    static int onCloseSocket(void* self, curl_socket_t socket);
};
