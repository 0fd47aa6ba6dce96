#include "UserPrompts.h"

#include "RunControl.h"

bool UserPrompts::AskRetryCancel(const std::string& text) {
    ErrorBox(text);
    return false;
}

UserPrompts& Prompts() {
    return RunContext::Current().Prompts();
}

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}
