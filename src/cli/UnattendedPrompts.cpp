#include "UnattendedPrompts.h"

namespace {

// The text on one line: a line end becomes a blank.
std::string oneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r')
            continue;
        line += c == '\n' ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

} // namespace

std::optional<std::string> NormalizeFingerprint(std::string_view text) {
    constexpr std::string_view prefix = "sha256:";
    if (text.size() >= prefix.size()) {
        bool same = true;
        for (size_t i = 0; i < prefix.size(); ++i)
            same = same && (text[i] | 0x20) == prefix[i];
        if (same)
            text.remove_prefix(prefix.size());
    }
    std::string digits;
    for (char c : text) {
        if (c == ':')
            continue;
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return std::nullopt;
        digits += c;
    }
    if (digits.size() != 64)
        return std::nullopt;
    return "SHA256:" + digits;
}

UnattendedPrompts::UnattendedPrompts(Answers answers, std::function<void(const std::string&)> report)
    : answers_(std::move(answers)), report_(std::move(report)) {}

void UnattendedPrompts::tell(const std::string& line) {
    if (report_)
        report_((JobName.empty() ? std::string() : "ジョブ " + JobName + ": ") + line);
}

bool UnattendedPrompts::ConfirmFindings(const std::string&, const std::string&) {
    if (answers_.AcceptFindings)
        return true;
    tell("公開前の確認で見つかった点（ログを参照）があるため、続行しませんでした。確認したうえで続行するには "
         "--yes を付けてください。");
    return false;
}

bool UnattendedPrompts::TrustCertificate(const std::string&, const std::string&, const std::string& server,
                                         const std::string& fingerprint) {
    if (!answers_.TrustedFingerprint.empty() && answers_.TrustedFingerprint == fingerprint)
        return true;
    tell("サーバー " + server + " の証明書はシステムに信頼されていません" +
         (answers_.TrustedFingerprint.empty() ? std::string() : "（--trust で指定した証明書とは違います）") +
         "。この証明書を信頼するには --trust " + fingerprint + " を付けてください。");
    return false;
}

std::string UnattendedPrompts::AskPassword(const std::string&, const std::string&,
                                           const std::string& server) {
    if (answers_.Password && !answers_.Password->empty())
        return *answers_.Password;
    // Logging in with an empty password would only earn a refusal, or log in where it should not.
    const std::string reason =
        "サーバー " + server +
        " のパスワードが設定ファイルにありません。環境変数 QUILLON_PASSWORD で渡してください。";
    tell(reason);
    throw EPasswordUnavailable(reason);
}

bool UnattendedPrompts::AskYesNo(const std::string&, const std::string& text, Icon, bool) {
    tell("答える人がいないため「いいえ」としました: " + oneLine(firstLine(text)));
    return false;
}

std::string UnattendedPrompts::InputBox(const std::string&, const std::string& prompt, const std::string&,
                                        bool) {
    tell("答える人がいないため入力を取り消しました: " + oneLine(prompt));
    return {};
}

void UnattendedPrompts::ErrorBox(const std::string& text) {
    const std::string line = oneLine(ErrorBoxText(text));
    if (errorsTold_.insert(line).second)
        tell(line);
}
