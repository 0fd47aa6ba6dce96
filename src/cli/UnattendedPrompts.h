#pragma once

#include "platform/UserPrompts.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

/// "SHA256:" and 64 upper-case hex digits from a fingerprint as a user may copy it (the prefix in any
/// case or left out, the digits in any case, with or without ':' between them); nothing when it is none.
std::optional<std::string> NormalizeFingerprint(std::string_view text);

/// The answers of a run nobody watches: each question a job would ask is answered from the command line
/// or the environment, or refused. A refusal is told in one line that names what answers it, and the job
/// fails as it would with the user's No (or cancelled input box).
class UnattendedPrompts : public UserPrompts {
public:
    struct Answers {
        bool AcceptFindings = false;         ///< --yes
        std::string TrustedFingerprint;      ///< --trust, normalised; empty: none
        std::optional<std::string> Password; ///< QUILLON_PASSWORD
    };
    /// `report` gets each line to tell (without a line end).
    UnattendedPrompts(Answers answers, std::function<void(const std::string&)> report);

    /// The job running, named in the lines told.
    std::string JobName;

    bool ConfirmFindings(const std::string& title, const std::string& text) override;
    bool TrustCertificate(const std::string& title, const std::string& text, const std::string& server,
                          const std::string& fingerprint) override;
    std::string AskPassword(const std::string& caption, const std::string& prompt,
                            const std::string& server) override;

    /// Any other question is answered No, any other input box cancelled, each told.
    bool AskYesNo(const std::string& title, const std::string& text, Icon icon, bool defaultNo) override;
    std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& initial,
                         bool masked) override;
    /// Told once per text (a log file that cannot be written would otherwise repeat it for every line).
    void ErrorBox(const std::string& text) override;
    void ProcessMessages() override {}

private:
    void tell(const std::string& line);

    Answers answers_;
    std::function<void(const std::string&)> report_;
    std::set<std::string> errorsTold_;
};
