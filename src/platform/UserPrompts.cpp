#include "UserPrompts.h"

#include "RunControl.h"

bool UserPrompts::AskRetryCancel(const std::string& text) {
    ErrorBox(text);
    return false;
}

bool UserPrompts::ConfirmFindings(const std::string& title, const std::string& text) {
    return AskYesNo(title, text, Icon::Warning, false);
}

bool UserPrompts::TrustCertificate(const std::string& title, const std::string& text, const std::string&,
                                   const std::string&) {
    return AskYesNo(title, text, Icon::Warning, true);
}

std::string UserPrompts::AskPassword(const std::string& caption, const std::string& prompt,
                                     const std::string&) {
    return InputBox(caption, prompt, "", true);
}

UserPrompts& Prompts() {
    return RunContext::Current().Prompts();
}

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}
