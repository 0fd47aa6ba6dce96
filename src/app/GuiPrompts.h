#pragma once

#include "platform/UserPrompts.h"

class QWidget;

/// The user's dialogs: Qt message boxes and input boxes, parented to the active window.
class GuiPrompts : public UserPrompts {
public:
    bool AskYesNo(const std::string& title, const std::string& text, Icon icon, bool defaultNo) override;
    std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& initial,
                         bool masked) override;
    void ErrorBox(const std::string& text) override;
    bool AskRetryCancel(const std::string& text) override;
    void ProcessMessages() override;
};
