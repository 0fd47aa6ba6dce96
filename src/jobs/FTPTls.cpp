#include "FTPTls.h"

#include "FTPFailure.h"

#include "platform/Sockets.h"

#include <cstdio>
#include <ctime>
#include <curl/curl.h>
#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

// Where each context keeps its connection's TLS object and whether it is the control connection's.
struct ContextData {
    TFTPTls* tls;
    bool control;
};

int contextIndex() {
    static int index = SSL_CTX_get_ex_new_index(
        0, nullptr, nullptr, nullptr,
        [](void*, void* data, CRYPTO_EX_DATA*, int, long, void*) { delete static_cast<ContextData*>(data); });
    return index;
}

std::string nameOf(X509_NAME* name) {
    if (!name)
        return {};
    char buffer[512];
    X509_NAME_oneline(name, buffer, sizeof buffer);
    return buffer;
}

std::string timeOf(const ASN1_TIME* time) {
    std::tm t{};
    if (!time || ASN1_TIME_to_tm(time, &t) != 1)
        return "?";
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S UTC", &t);
    return buffer;
}

} // namespace

struct TFTPTls::Hooks {
    static TFTPTls* of(X509_STORE_CTX* store, bool* control = nullptr) {
        auto* ssl =
            static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* data = static_cast<ContextData*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), contextIndex()));
        if (control && data)
            *control = data->control;
        return data ? data->tls : nullptr;
    }

    static int verify(int ok, X509_STORE_CTX* store) {
        TFTPTls* tls = of(store);
        X509* leaf = X509_STORE_CTX_get0_cert(store);
        if (!tls || !leaf)
            return ok;
        unsigned char* der = nullptr;
        int length = i2d_X509(leaf, &der);
        std::string fingerprint = length > 0 ? Fingerprint(der, length) : std::string();
        OPENSSL_free(der);
        // A certificate the user chose to trust is taken whatever the store says of it.
        if (!tls->trusted_.empty() && fingerprint == tls->trusted_) {
            X509_STORE_CTX_set_error(store, X509_V_OK);
            return 1;
        }
        std::string problem;
        if (!ok) {
            const int error = X509_STORE_CTX_get_error(store);
            problem = DescribeCertificateProblem(error, X509_verify_cert_error_string(error));
        } else if (X509_STORE_CTX_get_error_depth(store) == 0) {
            bool matches = IsIpAddress(tls->host_)
                               ? X509_check_ip_asc(leaf, tls->host_.c_str(), 0) == 1
                               : X509_check_host(leaf, tls->host_.c_str(), 0, 0, nullptr) == 1;
            if (!matches)
                problem = CertificateForAnotherHost(nameOf(X509_get_subject_name(leaf)), tls->host_);
        }
        if (problem.empty())
            return 1;
        tls->rejected_ = true;
        tls->certificate_.Subject = nameOf(X509_get_subject_name(leaf));
        tls->certificate_.Issuer = nameOf(X509_get_issuer_name(leaf));
        tls->certificate_.NotBefore = timeOf(X509_get0_notBefore(leaf));
        tls->certificate_.NotAfter = timeOf(X509_get0_notAfter(leaf));
        tls->certificate_.Fingerprint = fingerprint;
        tls->certificate_.Problem = problem;
        return 0;
    }

    // The control connection's session: kept for the data connections to resume.
    static int newSession(SSL* ssl, SSL_SESSION* session) {
        auto* data = static_cast<ContextData*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), contextIndex()));
        if (!data || !data->control)
            return 0;
        if (data->tls->controlSession_)
            SSL_SESSION_free(static_cast<SSL_SESSION*>(data->tls->controlSession_));
        data->tls->controlSession_ = session;
        return 1; // the reference is ours now
    }

    // A data connection starts its handshake with the control connection's session. OpenSSL takes a TLS
    // 1.3 session for used once it has been resumed, so each data connection gets a copy of its own.
    static void info(const SSL* constSsl, int where, int) {
        if (!(where & SSL_CB_HANDSHAKE_START))
            return;
        SSL* ssl = const_cast<SSL*>(constSsl);
        auto* data = static_cast<ContextData*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), contextIndex()));
        if (!data || data->control || !data->tls->controlSession_)
            return;
        if (SSL_SESSION* copy = SSL_SESSION_dup(static_cast<SSL_SESSION*>(data->tls->controlSession_))) {
            SSL_set_session(ssl, copy);
            SSL_SESSION_free(copy); // the connection holds its own reference
        }
    }
};

TFTPTls::TFTPTls(std::string host, std::string trusted)
    : host_(std::move(host)), trusted_(std::move(trusted)) {}

TFTPTls::~TFTPTls() {
    if (controlSession_)
        SSL_SESSION_free(static_cast<SSL_SESSION*>(controlSession_));
}

std::string TFTPTls::Fingerprint(const unsigned char* der, int length) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(der, static_cast<size_t>(length), digest, &size, EVP_sha256(), nullptr);
    std::string text = "SHA256:";
    char hex[3];
    for (unsigned int i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%02X", digest[i]);
        text += hex;
    }
    return text;
}

int TFTPTls::ContextFunction(void*, void* sslContext, void* self) {
    auto* tls = static_cast<TFTPTls*>(self);
    auto* ctx = static_cast<SSL_CTX*>(sslContext);
    // The first connection of a session is its control connection; every later one carries data.
    bool control = !tls->controlSeen_;
    tls->controlSeen_ = true;
    tls->rejected_ = false;
    SSL_CTX_set_ex_data(ctx, contextIndex(), new ContextData{tls, control});
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, &Hooks::verify);
    if (control) {
        SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(ctx, &Hooks::newSession);
    } else {
        SSL_CTX_set_info_callback(ctx, &Hooks::info);
    }
    return CURLE_OK;
}
