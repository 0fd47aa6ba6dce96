#include "FTPFailure.h"

#include <openssl/x509_vfy.h>

namespace {

// A failed TLS handshake in words a user can act on.
std::string tlsHandshakeFailure(const std::string& detail) {
    auto says = [&](const char* what) { return detail.find(what) != std::string::npos; };
    if (says("wrong version number") || says("packet length too long") || says("record layer failure"))
        return "サーバーがTLSで応答しませんでした（" + detail +
               "）。このポートで明示的TLS(AUTH TLS)を使うサーバーなら「明示的TLS(AUTH "
               "TLS)」にチェックを入れ、"
               "そうでなければポート番号を確かめてください。";
    if (says("unsupported protocol") || says("protocol version") || says("no protocols available"))
        return "サーバーはこのプログラムが使うTLSのバージョン(1.2または1.3)に対応していません（" + detail +
               "）。サーバー側でTLS 1.2以上を有効にしてもらってください。";
    return "サーバーとのTLSの接続手順に失敗しました（" + detail + "）。";
}

// What libcurl reports without a reply of the server: the commonest in the user's words, libcurl's own
// text kept in brackets for whoever helps them.
std::string transportFailure(CURLcode code, const std::string& detail) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "サーバー名が見つかりません（" + detail + "）。サーバー名を確かめてください。";
    case CURLE_COULDNT_CONNECT:
        return "サーバーに接続できません（" + detail + "）。サーバー名とポート番号を確かめてください。";
    case CURLE_LOGIN_DENIED:
        return "ログインできません（" + detail + "）。ユーザー名とパスワードを確かめてください。";
    default:
        return "通信に失敗しました（" + detail + "）。";
    }
}

} // namespace

TFTPFailure DescribeFTPFailure(const TFTPFailureFacts& f) {
    const CURLcode code = f.Code;
    if (f.Stalled || (!f.Connecting && code == CURLE_OPERATION_TIMEDOUT))
        return {"サーバーの応答が止まりました（" + std::to_string(f.StallSeconds) +
                "秒間、何も届きませんでした）。"};
    if (f.Connecting && code == CURLE_OPERATION_TIMEDOUT)
        return {"Connect timed out."};
    if (f.TooLarge) // libcurl closes the connection after it: this is the reason
        return {"サーバーのファイルが大きすぎるため(" + std::to_string(f.LimitBytes / (1024 * 1024)) +
                " MiB超)、取得を中止しました。"};
    if (f.CertificateRejected)
        return {"サーバーの証明書を信頼できません：" + f.CertificateProblem + "。"};
    if (code == CURLE_PEER_FAILED_VERIFICATION)
        return {"サーバーの証明書を信頼できません（" + f.Detail + "）。"};
    if (code == CURLE_USE_SSL_FAILED && f.TlsControlStarted)
        return {
            "サーバーがデータ接続の暗号化(PROT P)を拒否しました。ファイルを暗号化せずに送ることはしません。"
            "サーバーの設定でデータ接続のTLSを有効にしてください(" +
            f.Reply + ")。"};
    if (code == CURLE_USE_SSL_FAILED)
        return {"サーバーがAUTH "
                "TLSを拒否しました。明示的TLSには対応していません。最初からTLSで通信するサーバーなら"
                "「明示的TLS(AUTH "
                "TLS)」のチェックを、TLSに対応していないサーバーなら「SSL」のチェックを外してください。"};
    if (code == CURLE_SSL_CONNECT_ERROR)
        return {tlsHandshakeFailure(f.Detail)};
    if (f.RefusedNewControl || (!f.Connecting && (f.ControlClosed || code == CURLE_RECV_ERROR ||
                                                  code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING)))
        return {"サーバーとの接続が切れました。"};
    if (code == CURLE_FTP_ACCEPT_TIMEOUT)
        return {"サーバーが" + std::to_string(f.AcceptSeconds) +
                "秒以内にデータ接続を開きませんでした（能動モード）。ジョブのサーバー設定でパッシブモードにし"
                "てください。"};
    if (f.WriteFailed)
        return {"ダウンロードしたファイルを書き込めませんでした。"};
    if (f.ReplyCode >= 400)
        return {f.Reply, f.ReplyCode};
    return {transportFailure(code, f.Detail.empty() ? curl_easy_strerror(code) : f.Detail)};
}

std::string DescribeCertificateProblem(int verifyError, const std::string& openSslText) {
    switch (verifyError) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return "自己署名の証明書です";
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return "証明書の発行元が自己署名で、システムが信頼していません";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return "証明書の発行元をシステムが信頼していません";
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "証明書の有効期限が切れています";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "証明書の有効期間がまだ始まっていません";
    default:
        return "証明書を検証できません（" + openSslText + "）";
    }
}

std::string CertificateForAnotherHost(const std::string& subject, const std::string& host) {
    return "証明書は " + host + " ではなく " + subject + " に発行されています";
}
