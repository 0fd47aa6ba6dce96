#pragma once

#include "platform/UserPrompts.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

/// The user's answers, scripted by a test; installed for its lifetime. Every question, input box and error
/// box is recorded; an unscripted question is answered No and an unscripted input box is cancelled.
class ScriptedPrompts : public UserPrompts {
public:
    struct Question {
        std::string title, text;
        Icon icon;
        bool defaultNo;
    };
    struct Input {
        std::string caption, prompt;
        bool masked = false;
    };

    ScriptedPrompts() : previous_(SetPrompts(this)) {}
    ~ScriptedPrompts() override { SetPrompts(previous_); }
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    bool AskYesNo(const std::string& title, const std::string& text, Icon icon, bool defaultNo) override {
        questions.push_back({title, text, icon, defaultNo});
        if (answers.empty())
            return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::string InputBox(const std::string& caption, const std::string& prompt, const std::string&,
                         bool masked) override {
        inputs.push_back({caption, prompt, masked});
        if (typed.empty())
            return {};
        std::string t = typed.front();
        typed.pop_front();
        return t;
    }
    void ErrorBox(const std::string& text) override { errors.push_back(text); }
    void ProcessMessages() override {
        ++pumps;
        if (onPump)
            onPump(pumps);
    }

    std::deque<bool> answers;
    std::deque<std::string> typed;
    std::vector<Question> questions;
    std::vector<Input> inputs;
    std::vector<std::string> errors;
    int pumps = 0;
    /// What the user does while the program processes its messages (called with the count so far).
    std::function<void(int)> onPump;

private:
    UserPrompts* previous_;
};
