#include "FTPFailure.h"

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

TFTPFailure DescribeFTPFailure(const TFTPFailureFacts& f) {
    const CURLcode code = f.Code;
    if (f.Stalled || (!f.Connecting && code == CURLE_OPERATION_TIMEDOUT))
        return {"The server stopped responding: nothing moved for " + std::to_string(f.StallSeconds) +
                " seconds."};
    if (f.Connecting && code == CURLE_OPERATION_TIMEDOUT)
        return {"Connect timed out."};
    if (f.TooLarge) // libcurl closes the connection after it: this is the reason
        return {"サーバーのファイルが大きすぎるため(" + std::to_string(f.LimitBytes / (1024 * 1024)) +
                " MiB超)、取得を中止しました。"};
    if (f.CertificateRejected)
        return {"The server's certificate was not trusted: " + f.CertificateProblem + "."};
    if (code == CURLE_PEER_FAILED_VERIFICATION)
        return {"The server's certificate was not trusted: " + f.Detail};
    if (code == CURLE_USE_SSL_FAILED && f.TlsControlStarted)
        return {
            "サーバーがデータ接続の暗号化(PROT P)を拒否しました。ファイルを暗号化せずに送ることはしません。"
            "サーバーの設定でデータ接続のTLSを有効にしてください(" +
            f.Reply + ")。"};
    if (code == CURLE_USE_SSL_FAILED)
        return {
            "The server refused AUTH TLS: it offers no explicit TLS. If it speaks TLS from the first byte, "
            "untick 明示的TLS(AUTH TLS); if it has no TLS at all, untick SSL."};
    if (code == CURLE_SSL_CONNECT_ERROR)
        return {tlsHandshakeFailure(f.Detail)};
    if (f.RefusedNewControl || (!f.Connecting && (f.ControlClosed || code == CURLE_RECV_ERROR ||
                                                  code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING)))
        return {"The connection to the server was lost."};
    if (code == CURLE_FTP_ACCEPT_TIMEOUT)
        return {"The server did not open the data connection within " + std::to_string(f.AcceptSeconds) +
                " seconds (active mode). Turn on passive mode in the job's server settings."};
    if (f.WriteFailed)
        return {"The downloaded file could not be written."};
    if (f.ReplyCode >= 400)
        return {f.Reply, f.ReplyCode};
    return {f.Detail.empty() ? curl_easy_strerror(code) : f.Detail};
}
