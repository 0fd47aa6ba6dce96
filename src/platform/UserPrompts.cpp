#include "UserPrompts.h"

#include <cstdio>

namespace {

class DefaultPrompts : public UserPrompts {
public:
    bool AskYesNo(const std::string&, const std::string&, Icon, bool) override { return false; }
    std::string InputBox(const std::string&, const std::string&, const std::string&, bool) override {
        return {};
    }
    void ErrorBox(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ProcessMessages() override {}
};

DefaultPrompts defaultPrompts;
UserPrompts* current = &defaultPrompts;

} // namespace

bool UserPrompts::AskRetryCancel(const std::string& text) {
    ErrorBox(text);
    return false;
}

UserPrompts& Prompts() {
    return *current;
}

UserPrompts* SetPrompts(UserPrompts* prompts) {
    UserPrompts* previous = current;
    current = prompts ? prompts : &defaultPrompts;
    return previous == &defaultPrompts ? nullptr : previous;
}

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}
