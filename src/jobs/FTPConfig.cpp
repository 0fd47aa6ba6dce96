#include "FTPConfig.h"

#include "platform/IniFile.h"
#include "platform/UserPrompts.h"

#include <algorithm>

std::string TFTPConfig::GetPassword() {
    if (!Password.empty())
        return Password;
    if (!EnteredPassword.empty())
        return EnteredPassword;
    // What is typed is not shown: someone looking at the screen must not read the password.
    EnteredPassword =
        Prompts().AskPassword("パスワード", Server + "へのパスワードを入力してください", Server);
    return EnteredPassword;
}

void TFTPConfig::ReadConnectionKeys(const IniFile& ini, const std::string& section) {
    Connections = std::clamp(ini.ReadInteger(section, "Connections", 4), 1, 16);
    ExplicitTLS = ini.ReadBool(section, "ExplicitTLS", false);
    CertFingerprint = ini.ReadString(section, "CertFingerprint", "");
}

void TFTPConfig::WriteConnectionKeys(IniFile& ini, const std::string& section) const {
    ini.WriteInteger(section, "Connections", Connections);
    ini.WriteBool(section, "ExplicitTLS", ExplicitTLS);
    ini.WriteString(section, "CertFingerprint", CertFingerprint);
}

void TFTPConfig::CopyConnectionSettings(const TFTPConfig& other) {
    Connections = other.Connections;
    ExplicitTLS = other.ExplicitTLS;
    CertFingerprint = other.CertFingerprint;
}
