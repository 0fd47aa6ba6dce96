#include "jobs/FTPFailure.h"

#include <openssl/x509_vfy.h>

#include <gtest/gtest.h>

TEST(FTPFailure, TheReasonTheUserCanActOnComesFirst) {
    TFTPFailureFacts stalled;
    stalled.Stalled = true;
    stalled.ReplyCode = 550;
    stalled.StallSeconds = 7;
    EXPECT_EQ(DescribeFTPFailure(stalled).Message,
              "サーバーの応答が止まりました（7秒間、何も届きませんでした）。");

    // A download over its limit closes the connection too: the limit is the reason.
    TFTPFailureFacts tooLarge;
    tooLarge.Code = CURLE_WRITE_ERROR;
    tooLarge.TooLarge = true;
    tooLarge.LimitBytes = int64_t(64) << 20;
    tooLarge.ControlClosed = true;
    EXPECT_NE(DescribeFTPFailure(tooLarge).Message.find("64 MiB"), std::string::npos);

    // The same libcurl code means PROT P refused once TLS stood, AUTH TLS refused before.
    TFTPFailureFacts useSsl;
    useSsl.Code = CURLE_USE_SSL_FAILED;
    useSsl.Reply = "536 No.";
    EXPECT_NE(DescribeFTPFailure(useSsl).Message.find("AUTH TLS"), std::string::npos);
    useSsl.TlsControlStarted = true;
    EXPECT_NE(DescribeFTPFailure(useSsl).Message.find("PROT P"), std::string::npos);
    EXPECT_NE(DescribeFTPFailure(useSsl).Message.find("536 No."), std::string::npos);

    // A closed control connection is a lost connection after the login, not during it.
    TFTPFailureFacts closed;
    closed.Code = CURLE_RECV_ERROR;
    closed.ControlClosed = true;
    EXPECT_EQ(DescribeFTPFailure(closed).Message, "サーバーとの接続が切れました。");
    closed.Connecting = true;
    closed.Detail = "Recv failure";
    EXPECT_EQ(DescribeFTPFailure(closed).Message, "通信に失敗しました（Recv failure）。");

    // A refusal carries the server's words and code.
    TFTPFailureFacts refused;
    refused.Code = CURLE_UPLOAD_FAILED;
    refused.ReplyCode = 553;
    refused.Reply = "553 Not allowed.";
    TFTPFailure failure = DescribeFTPFailure(refused);
    EXPECT_EQ(failure.Message, "553 Not allowed.");
    EXPECT_EQ(failure.ReplyCode, 553);
    EXPECT_EQ(DescribeFTPFailure(stalled).ReplyCode, 0);
}

TEST(FTPFailure, CertificateProblemsAndTransportFailuresAreToldInTheUsersWords) {
    // What a shared host's certificate usually is; OpenSSL's own words only for the rare cases.
    EXPECT_EQ(DescribeCertificateProblem(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, "self-signed certificate"),
              "自己署名の証明書です");
    EXPECT_EQ(DescribeCertificateProblem(X509_V_ERR_CERT_HAS_EXPIRED, "certificate has expired"),
              "証明書の有効期限が切れています");
    EXPECT_EQ(DescribeCertificateProblem(X509_V_ERR_INVALID_PURPOSE, "unsuitable certificate purpose"),
              "証明書を検証できません（unsuitable certificate purpose）");

    TFTPFailureFacts unresolved;
    unresolved.Code = CURLE_COULDNT_RESOLVE_HOST;
    unresolved.Connecting = true;
    unresolved.Detail = "Could not resolve host: ghost.invalid";
    EXPECT_EQ(DescribeFTPFailure(unresolved).Message, "サーバー名が見つかりません（Could not resolve host: "
                                                      "ghost.invalid）。サーバー名を確かめてください。");
    TFTPFailureFacts refused;
    refused.Code = CURLE_COULDNT_CONNECT;
    refused.Connecting = true;
    EXPECT_NE(DescribeFTPFailure(refused).Message.find("サーバー名とポート番号を確かめてください"),
              std::string::npos);
}
