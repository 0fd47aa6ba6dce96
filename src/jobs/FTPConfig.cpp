#include "FTPConfig.h"

#include "platform/UserPrompts.h"

std::string TFTPConfig::GetPassword() {
    if (!Password.empty())
        return Password;
    if (!EnteredPassword.empty())
        return EnteredPassword;
    // What is typed is not shown: someone looking at the screen must not read the password.
    EnteredPassword = Prompts().InputBox("パスワード", Server + "へのパスワードを入力してください", "", true);
    return EnteredPassword;
}
