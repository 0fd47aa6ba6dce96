// The FTP connection of a job: client set-up and nested remote folders.
#include "Settings.h"

#include "platform/UserPrompts.h"

#include <algorithm>

std::unique_ptr<TFTPClient> TSettings::CreateFTP() {
    auto ftp = std::make_unique<TFTPClient>();
    if (!OwnFTP)
        OwnFTP = std::make_unique<TFTPConfig>();
    TFTPConfig& config = UseCommon && CommonFTP ? *CommonFTP : *OwnFTP;
    ftp->Username = config.ID;
    ftp->Password = config.GetPassword();
    ftp->Passive = config.Passive;
    ftp->UseTLS = config.SSL;
    ftp->Host = config.Server;
    ftp->Connections = config.Connections;
    ftp->ExplicitTLS = config.ExplicitTLS;
    ftp->TrustedFingerprint = config.CertFingerprint;
    // A certificate the system does not vouch for is the user's call; a Yes is kept with the settings.
    ftp->OnUntrustedCertificate = [&config](const TCertificateInfo& c, bool changed) {
        std::string text;
        if (changed)
            text += "サーバーの証明書が、以前に信頼した証明書から変わっています。\n\n";
        text += "サーバー: " + config.Server + "\n" + "信頼されない理由: " + c.Problem + "\n" +
                "発行先: " + c.Subject + "\n" + "発行者: " + c.Issuer + "\n" + "有効期間: " + c.NotBefore +
                " から " + c.NotAfter + "\n" + "SHA-256 フィンガープリント: " + c.Fingerprint + "\n\n" +
                "このサーバーについて、この証明書を信頼しますか？";
        if (!Prompts().AskYesNo("Quillon", text, UserPrompts::Icon::Warning, true))
            return false;
        config.CertFingerprint = c.Fingerprint;
        return true;
    };
    ftp->Options = ClientOptions;
    return ftp;
}

void TSettings::EnterUploadDirectory(TFTPClient& ftp) {
    try {
        ftp.ChangeDir(Directory);
    } catch (const EFTPError&) {
        CreateUploadDirectory(ftp);
    }
}

void TSettings::CreateUploadDirectory(TFTPClient& ftp) {
    Log("ターゲットディレクトリが見つかりません。作成します。");
    try {
        ftp.MakeDir(Directory);
    } catch (const EFTPError&) {
        // The change of directory below decides.
    }
    ftp.ChangeDir(Directory);
}

void TSettings::MakeRemoteDirs(TFTPClient& ftp, const std::string& folder) {
    std::vector<std::string> components;
    size_t start = 0;
    for (size_t sep; (sep = folder.find('\\', start)) != std::string::npos; start = sep + 1)
        components.push_back(folder.substr(start, sep - start));
    if (start < folder.size())
        components.push_back(folder.substr(start));

    // "." and ".." lead elsewhere than one level down: going up once per component would not come back.
    bool plain = std::none_of(components.begin(), components.end(),
                              [](const std::string& c) { return c == "." || c == ".."; });
    const std::string startDir = ftp.CurrentDir();
    for (const std::string& component : components) {
        try {
            ftp.ChangeDir(component);
        } catch (const EFTPError&) {
            Log("ディレクトリ" + component + "を作成します。");
            try {
                ftp.MakeDir(component);
            } catch (const EFTPError&) {
                // The change of directory below decides.
            }
            ftp.ChangeDir(component);
        }
    }
    if (plain || startDir.empty()) {
        for (size_t i = 0; i < components.size(); ++i)
            ftp.ChangeDirUp();
    } else {
        ftp.ChangeDir(startDir);
    }
}
