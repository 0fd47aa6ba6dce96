#pragma once

#include "platform/Errors.h"

#include <cstdint>
#include <string>

/// A download over HTTP(S) that failed: no answer, a refused certificate, a status other than 200.
class EHttpError : public EQuillon {
public:
    using EQuillon::EQuillon;
};

struct HttpGetOptions {
    std::string CAFile;            ///< extra trusted CA certificates (PEM); the system's store always counts
    long ConnectTimeoutMs = 30000; ///< for the TCP connection and the TLS handshake
    long StallTimeoutMs = 60000;   ///< no byte for this long (also while waiting for the answer) fails
    int64_t MaxBytes = -1;         ///< >= 0: keep at most this many bytes and one more, then stop
};

/// The body of `url` (http or https only, also after redirects), read on the calling thread while the
/// window system processes its messages; certificates are verified with the host name. A body longer than
/// MaxBytes comes back cut after MaxBytes + 1 bytes. Throws EHttpError, and ECancelled when the user
/// cancels the run.
std::string HttpGet(const std::string& url, const HttpGetOptions& options);
