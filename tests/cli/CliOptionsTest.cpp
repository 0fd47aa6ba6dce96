#include "cli/CliOptions.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

const std::string fingerprint = "SHA256:" + std::string(32, 'A') + std::string(32, '0');

// The message of the refusal of `args`, or a failure when they are taken.
std::string refusal(const Args& args) {
    try {
        ParseCliArguments(args);
    } catch (const EUsage& e) {
        return e.what();
    }
    ADD_FAILURE() << "taken: " << ::testing::PrintToString(args);
    return {};
}

} // namespace

TEST(CliOptions, OptionsAndJobNamesInAnyOrder) {
    CliOptions none = ParseCliArguments({});
    EXPECT_TRUE(none.Jobs.empty());
    EXPECT_TRUE(none.SettingsPath.empty());
    EXPECT_FALSE(none.DryRun || none.Yes || none.Help);
    EXPECT_TRUE(none.TrustedFingerprint.empty());

    CliOptions all = ParseCliArguments(
        {"公開 本体", "--settings", "/x/q.ini", "--dry-run", "shell", "--yes", "--trust", fingerprint});
    EXPECT_EQ(all.Jobs, (Args{"公開 本体", "shell"}));
    EXPECT_EQ(all.SettingsPath, "/x/q.ini");
    EXPECT_TRUE(all.DryRun);
    EXPECT_TRUE(all.Yes);
    EXPECT_EQ(all.TrustedFingerprint, fingerprint);

    // A value after '='; after "--" every argument is a name, also one that looks like an option.
    CliOptions joined =
        ParseCliArguments({"--settings=/y/a=b.ini", "--trust=" + fingerprint, "--", "--yes", "-"});
    EXPECT_EQ(joined.SettingsPath, "/y/a=b.ini");
    EXPECT_EQ(joined.TrustedFingerprint, fingerprint);
    EXPECT_FALSE(joined.Yes);
    EXPECT_EQ(joined.Jobs, (Args{"--yes", "-"}));

    EXPECT_TRUE(ParseCliArguments({"-h"}).Help);
    EXPECT_TRUE(ParseCliArguments({"job", "--help"}).Help);
}

TEST(CliOptions, TrustTakesTheFingerprintAsItIsCopied) {
    const std::string digits = std::string(32, 'a') + std::string(32, '0');
    std::string colons;
    for (size_t i = 0; i < digits.size(); i += 2)
        colons += (i ? ":" : "") + digits.substr(i, 2);
    for (const std::string& given : {fingerprint, "sha256:" + digits, digits, "SHA256:" + colons, colons})
        EXPECT_EQ(ParseCliArguments({"--trust", given}).TrustedFingerprint, fingerprint) << given;
}

TEST(CliOptions, WhatCannotBeTakenIsRefusedWithOneLine) {
    EXPECT_EQ(refusal({"--bogus"}), "不明なオプション --bogus です。" + std::string(CliUsage));
    EXPECT_EQ(refusal({"-x"}), "不明なオプション -x です。" + std::string(CliUsage));
    EXPECT_EQ(refusal({"--settings"}), "--settings には設定ファイルを続けてください。");
    EXPECT_EQ(refusal({"--settings="}), "--settings には設定ファイルを続けてください。");
    EXPECT_EQ(refusal({"--settings", "a", "--settings", "b"}), "--settings が2回指定されています。");
    EXPECT_EQ(refusal({"--trust"}), "--trust には証明書のフィンガープリントを続けてください。");
    EXPECT_EQ(refusal({"--trust", fingerprint, "--trust", fingerprint}),
              "--trust で信頼できる証明書は1つだけです。");
    // One digit short, one too many, a letter that is no hex digit: none of them a fingerprint.
    for (const std::string& wrong :
         {fingerprint.substr(0, fingerprint.size() - 1), fingerprint + "0", "SHA256:" + std::string(64, 'G'),
          std::string("SHA1:") + std::string(64, '0')})
        EXPECT_EQ(refusal({"--trust", wrong}),
                  "--trust の値 " + wrong +
                      " は SHA-256 フィンガープリント（SHA256: と16進数64桁）ではありません。");
    EXPECT_EQ(refusal({"--yes=1"}), "--yes は値を取りません。");
    // A password on the command line is readable by every user of the machine.
    EXPECT_EQ(refusal({"--password", "secret"}),
              "パスワードはコマンドラインでは渡せません。環境変数 QUILLON_PASSWORD で渡してください。");
    EXPECT_EQ(refusal({"--password=secret"}),
              "パスワードはコマンドラインでは渡せません。環境変数 QUILLON_PASSWORD で渡してください。");
}
