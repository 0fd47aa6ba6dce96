#include "cli/UnattendedPrompts.h"
#include "platform/RunControl.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

const std::string shown = "SHA256:" + std::string(64, 'C');
const std::string other = "SHA256:" + std::string(64, 'D');

struct Told {
    Lines lines;
    std::function<void(const std::string&)> sink() {
        return [this](const std::string& line) { lines.push_back(line); };
    }
};

} // namespace

TEST(UnattendedPrompts, FindingsStopTheJobUnlessYesWasGiven) {
    Told told;
    UnattendedPrompts refusing({}, told.sink());
    refusing.JobName = "公開";
    EXPECT_FALSE(refusing.ConfirmFindings("警告", "公開前の確認で…\r\n続行しますか？"));
    EXPECT_EQ(told.lines,
              (Lines{"ジョブ 公開: 公開前の確認で見つかった点（ログを参照）があるため、続行しませんでし"
                     "た。確認したうえで続行するには --yes を付けてください。"}));

    Told quiet;
    UnattendedPrompts accepting({true, "", std::nullopt}, quiet.sink());
    EXPECT_TRUE(accepting.ConfirmFindings("警告", "続行しますか？"));
    EXPECT_TRUE(quiet.lines.empty());
    // --yes answers the findings, nothing else.
    EXPECT_FALSE(accepting.TrustCertificate("Quillon", "信頼しますか？", "ftp.example", shown));
}

TEST(UnattendedPrompts, OnlyTheCertificateGivenWithTrustIsTrusted) {
    Told told;
    UnattendedPrompts none({}, told.sink());
    EXPECT_FALSE(none.TrustCertificate("Quillon", "…", "ftp.example:990", shown));
    UnattendedPrompts wrong({false, other, std::nullopt}, told.sink());
    wrong.JobName = "net";
    EXPECT_FALSE(wrong.TrustCertificate("Quillon", "…", "ftp.example:990", shown));
    EXPECT_EQ(
        told.lines,
        (Lines{"サーバー ftp.example:990 の証明書はシステムに信頼されていません。この証明書を信頼するには "
               "--trust " +
                   shown + " を付けてください。",
               "ジョブ net: サーバー ftp.example:990 の証明書はシステムに信頼されていません（--trust "
               "で指定した証明書とは違います）。この証明書を信頼するには --trust " +
                   shown + " を付けてください。"}));

    Told quiet;
    UnattendedPrompts right({false, shown, std::nullopt}, quiet.sink());
    EXPECT_TRUE(right.TrustCertificate("Quillon", "…", "ftp.example:990", shown));
    EXPECT_TRUE(quiet.lines.empty());
}

TEST(UnattendedPrompts, ThePasswordComesFromTheEnvironmentOrIsMissing) {
    Told told;
    UnattendedPrompts given({false, "", std::string("pa ss")}, told.sink());
    EXPECT_EQ(given.AskPassword("パスワード", "…", "ftp.example"), "pa ss");
    EXPECT_TRUE(told.lines.empty());
    // Set but empty counts as not set: an empty password is what a cancelled box gives too.
    for (const std::optional<std::string>& env :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        UnattendedPrompts missing({true, shown, env}, told.sink());
        EXPECT_THROW(missing.AskPassword("パスワード", "…", "ftp.example"), EPasswordUnavailable);
    }
    EXPECT_EQ(told.lines, (Lines(2, "サーバー ftp.example のパスワードが設定ファイルにありません。環境変数 "
                                    "QUILLON_PASSWORD で渡してください。")));
}

TEST(UnattendedPrompts, OtherQuestionsAreRefusedAndErrorsToldOnce) {
    Told told;
    UnattendedPrompts prompts({true, shown, std::string("pw")}, told.sink());
    RunContext context(&prompts);
    EXPECT_FALSE(Prompts().AskYesNo("?", "上書きしますか？\r\n詳しくは…", UserPrompts::Icon::Warning, false));
    EXPECT_EQ(Prompts().InputBox("名前", "名前を\r\n入力", "x", false), "");
    EXPECT_FALSE(Prompts().AskRetryCancel("書けません"));
    for (int i = 0; i < 3; ++i)
        Prompts().ErrorBox("ファイル /l/log1.log を作成できません");
    EXPECT_EQ(told.lines, (Lines{"答える人がいないため「いいえ」としました: 上書きしますか？",
                                 "答える人がいないため入力を取り消しました: 名前を 入力", "書けません.",
                                 "ファイル /l/log1.log を作成できません."}));
}
