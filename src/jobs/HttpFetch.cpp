// Downloads over HTTP(S) with libcurl, for checking what a ghost's home URL serves.
#include "HttpFetch.h"

#include "RemotePath.h"

#include "platform/RunControl.h"
#include "platform/UserPrompts.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace {

struct Transfer {
    std::string body;
    int64_t maxBytes = -1;
    bool cancelled = false;
};

size_t keep(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
    if (t->maxBytes >= 0) {
        const int64_t room = t->maxBytes + 1 - static_cast<int64_t>(t->body.size());
        if (room <= 0)
            return 0; // enough to tell that it is too long: the transfer stops here
        n = std::min<size_t>(n, static_cast<size_t>(room));
    }
    t->body.append(data, n);
    return size * count;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    Prompts().ProcessMessages();
    t->cancelled = CancelRequested();
    return t->cancelled ? 1 : 0;
}

} // namespace

std::string HttpGet(const std::string& url, const HttpGetOptions& options) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialised)
        throw EHttpError("libcurl could not be initialised.");
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        throw EHttpError("libcurl could not be initialised.");
    Transfer transfer;
    transfer.maxBytes = options.MaxBytes;
    char error[CURL_ERROR_SIZE] = "";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
#ifdef _WIN32
    curl_easy_setopt(c, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
#endif
    if (!options.CAFile.empty())
        curl_easy_setopt(c, CURLOPT_CAINFO, options.CAFile.c_str());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.ConnectTimeoutMs);
    // A byte a second at least, waiting for the answer included.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, std::max(1L, options.StallTimeoutMs / 1000));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);

    const CURLcode result = curl_easy_perform(c);
    if (transfer.cancelled)
        throw ECancelled();
    const bool cut = result == CURLE_WRITE_ERROR && options.MaxBytes >= 0 &&
                     static_cast<int64_t>(transfer.body.size()) > options.MaxBytes;
    if (result != CURLE_OK && !cut)
        throw EHttpError(*error ? error : curl_easy_strerror(result));
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200)
        throw EHttpError("HTTP " + std::to_string(status));
    return transfer.body;
}
