#pragma once

#include <string>

/// What a server's certificate says, for the user's question whether to trust it.
struct TCertificateInfo {
    std::string Subject;
    std::string Issuer;
    std::string NotBefore, NotAfter; ///< "2026-12-09 00:00:00 UTC"
    std::string Fingerprint;         ///< "SHA256:" followed by 64 hexadecimal digits (upper case)
    std::string Problem;             ///< why it is not trusted, in words a user can act on
};

/// The TLS side of one control connection and of its data connections, hooked into libcurl's OpenSSL:
/// certificates are verified against the system's trust store (and the CA file of the options) with the
/// host name checked, and a certificate whose fingerprint the user chose to trust is taken as well, on the
/// control connection and on every data connection. Every data connection resumes the control
/// connection's session, which servers demand (vsftpd does by default) and which libcurl's own session
/// cache gets wrong with TLS 1.3, whose tickets arrive after the handshake.
class TFTPTls {
public:
    /// `host` is the name (or address) the certificate must be issued for; `trusted` a fingerprint
    /// ("SHA256:...") the user chose to trust, or empty.
    TFTPTls(std::string host, std::string trusted);
    ~TFTPTls();
    TFTPTls(const TFTPTls&) = delete;
    TFTPTls& operator=(const TFTPTls&) = delete;

    /// For CURLOPT_SSL_CTX_FUNCTION with this object as its data; libcurl calls it for every connection.
    static int ContextFunction(void* curl, void* sslContext, void* self);

    /// The certificate of the last connection that was refused, and whether one was.
    bool Rejected() const { return rejected_; }
    const TCertificateInfo& RejectedCertificate() const { return certificate_; }
    /// Whether TLS was set up for the control connection (an explicit-TLS server accepted AUTH TLS).
    bool ControlStarted() const { return controlSeen_; }

    /// The fingerprint of a certificate in DER form.
    static std::string Fingerprint(const unsigned char* der, int length);

private:
    struct Hooks;
    std::string host_;
    std::string trusted_;
    void* controlSession_ = nullptr; // SSL_SESSION of the control connection
    bool controlSeen_ = false;
    bool rejected_ = false;
    TCertificateInfo certificate_;
};
