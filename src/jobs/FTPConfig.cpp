#include "FTPConfig.h"

#include "platform/UserPrompts.h"

std::string TFTPConfig::GetPassword() {
    if (!Password.empty())
        return Password;
    if (!EnteredPassword.empty())
        return EnteredPassword;
    EnteredPassword = Prompts().InputBox("パスワード", Server + "へのパスワードを入力してください", "");
    return EnteredPassword;
}
