#pragma once

#include "ScriptedPrompts.h"
#include "platform/RunControl.h"

#include <chrono>
#include <functional>

/// The user presses cancel at the first message pump at which `when` holds; SecondsSinceCancel tells how
/// long the run took to end after that. The request is cleared again at the end of the scope.
class CancelWhen {
public:
    CancelWhen(ScriptedPrompts& prompts, std::function<bool()> when) {
        prompts.onPump = [this, when = std::move(when)](int) {
            if (!CancelRequested() && when()) {
                at_ = std::chrono::steady_clock::now();
                RequestCancel();
            }
        };
    }
    ~CancelWhen() { ClearCancel(); }
    CancelWhen(const CancelWhen&) = delete;
    CancelWhen& operator=(const CancelWhen&) = delete;

    bool Cancelled() const { return at_ != std::chrono::steady_clock::time_point(); }
    double SecondsSinceCancel() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - at_).count();
    }

private:
    std::chrono::steady_clock::time_point at_;
};
