#pragma once

#include "platform/RunControl.h"
#include "platform/UserPrompts.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

/// The user's answers, scripted by a test; current for its lifetime (a run context of its own). Every
/// question, input box, error box and Retry/Cancel box is recorded; an unscripted question is answered No, an
/// unscripted input box is cancelled and an unscripted Retry/Cancel box is answered Cancel.
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

    ScriptedPrompts() : context_(this) {}
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
    bool AskRetryCancel(const std::string& text) override {
        retryQuestions.push_back(text);
        if (onRetryQuestion)
            onRetryQuestion(retryQuestions.size());
        if (retryAnswers.empty())
            return false;
        bool a = retryAnswers.front();
        retryAnswers.pop_front();
        return a;
    }
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
    /// Answers to Retry/Cancel boxes (true: Retry); unscripted ones are answered Cancel.
    std::deque<bool> retryAnswers;
    std::vector<std::string> retryQuestions;
    /// What the user does while a Retry/Cancel box is open (called with the count of those boxes so far).
    std::function<void(size_t)> onRetryQuestion;
    int pumps = 0;
    /// What the user does while the program processes its messages (called with the count so far).
    std::function<void(int)> onPump;

private:
    RunContext context_;
};
