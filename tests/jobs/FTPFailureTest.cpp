#include "jobs/FTPFailure.h"

#include <gtest/gtest.h>

TEST(FTPFailure, TheReasonTheUserCanActOnComesFirst) {
    TFTPFailureFacts stalled;
    stalled.Stalled = true;
    stalled.ReplyCode = 550;
    stalled.StallSeconds = 7;
    EXPECT_EQ(DescribeFTPFailure(stalled).Message,
              "The server stopped responding: nothing moved for 7 seconds.");

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
    EXPECT_EQ(DescribeFTPFailure(closed).Message, "The connection to the server was lost.");
    closed.Connecting = true;
    closed.Detail = "Recv failure";
    EXPECT_EQ(DescribeFTPFailure(closed).Message, "Recv failure");

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
