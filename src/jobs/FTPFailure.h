#pragma once

#include <cstdint>
#include <curl/curl.h>
#include <string>

/// The facts of a failed FTP request, as the client saw them.
struct TFTPFailureFacts {
    CURLcode Code = CURLE_OK; ///< libcurl's result (CURLE_OK with a refusing reply for commands)
    bool Stalled = false;     ///< the client stopped it: nothing moved for the stall time
    bool Connecting = false;  ///< it was the login
    bool TooLarge = false;    ///< a download passed its limit
    int64_t LimitBytes = 0;
    bool CertificateRejected = false; ///< the TLS hooks refused the server's certificate
    std::string CertificateProblem;
    bool TlsControlStarted = false; ///< the control connection had TLS (AUTH TLS was accepted)
    bool ControlClosed = false;     ///< the control connection closed under the request
    bool RefusedNewControl = false; ///< libcurl wanted a new control connection, which would be a new login
    bool WriteFailed = false;       ///< the local file of a download could not be written
    int ReplyCode = 0;              ///< the server's last reply, when it refused
    std::string Reply;
    std::string Detail; ///< libcurl's error text
    long StallSeconds = 60;
    long AcceptSeconds = 20;
};

/// What the failure means for the user, and the server's reply code where the server refused (else 0).
struct TFTPFailure {
    std::string Message;
    int ReplyCode = 0;
};

/// Turns the facts into the user's message: what went wrong and, where the user can act, what to change.
TFTPFailure DescribeFTPFailure(const TFTPFailureFacts& facts);

/// Why the server's certificate is not trusted, from OpenSSL's verification error (X509_V_ERR_*) and its
/// own text, which is kept in brackets for the rarer errors.
std::string DescribeCertificateProblem(int verifyError, const std::string& openSslText);
/// The certificate is valid but issued for another name than the host the job connects to.
std::string CertificateForAnotherHost(const std::string& subject, const std::string& host);
