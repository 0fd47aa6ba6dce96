// The FTP connection of a job: client set-up and nested remote folders.
#include "Settings.h"

#include "platform/RunControl.h"
#include "platform/UserPrompts.h"

#include <algorithm>
#include <functional>

std::unique_ptr<TFTPClient> TSettings::CreateFTPOrFail() {
    try {
        return CreateFTP();
    } catch (const EPasswordUnavailable& e) {
        LogTransferFailure(e.what());
        return nullptr;
    }
}

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
        if (!Prompts().TrustCertificate("Quillon", text, config.Server, c.Fingerprint))
            return false;
        config.CertFingerprint = c.Fingerprint;
        return true;
    };
    ftp->Options = ClientOptions;
    return ftp;
}

void TSettings::ConnectFTP(TFTPClient& ftp) {
    ReportStep("接続しています");
    ftp.Connect();
    Log(ftp.Host + "へ接続します。");
    if (ftp.PassiveForcedByTls())
        Log("SSLでは能動モードのデータ接続を暗号化できないため、パッシブモードで転送します。");
}

void TSettings::EnterUploadDirectory(TFTPClient& ftp) {
    try {
        ftp.ChangeDir(Directory);
    } catch (const EFTPUploadFailed&) {
        throw;
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
        } catch (const EFTPUploadFailed&) {
            throw; // an earlier upload's failure, not a missing directory
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

namespace {

// Tidying after the work is done: a refusal changes nothing, a lost connection is told by the next step.
void quietly(const std::function<void()>& step) {
    try {
        step();
    } catch (const EFTPError&) {
    }
}

// A step the server may refuse: true when it did and the connection stands, false when it was done. A
// lost connection goes on up.
bool refused(const TFTPClient& ftp, const std::function<void()>& step) {
    try {
        step();
        return false;
    } catch (const EFTPError&) {
        if (!ftp.Connected())
            throw;
        return true;
    }
}

} // namespace

void TSettings::PublishFile(TFTPClient& ftp, const std::string& localPath, const std::string& name) {
    const std::string temporary = name + ".uploading";
    const std::string previous = name + ".previous";
    const auto inPlace = [&] {
        ftp.Put(localPath, name);
        quietly([&] { ftp.Delete(temporary); });
    };
    if (refused(ftp, [&] { ftp.Put(localPath, temporary); })) {
        ftp.Put(localPath, name); // the server refused the temporary name
        return;
    }
    try {
        if (!refused(ftp, [&] { ftp.Rename(temporary, name); }))
            return;
        if (ftp.RenameFromRefused()) {
            inPlace(); // the server renames nothing
            return;
        }
        // The server did not rename onto the name. The old file is moved aside rather than deleted, so
        // that it can come back if the new one cannot take its place.
        quietly([&] { ftp.Delete(previous); });
        if (refused(ftp, [&] { ftp.Rename(name, previous); })) {
            inPlace(); // no old file (renaming onto a free name fails too), or no renaming of it at all
            return;
        }
        if (refused(ftp, [&] { ftp.Rename(temporary, name); })) {
            try {
                ftp.Put(localPath, name);
            } catch (const EFTPError&) {
                if (ftp.Connected())
                    quietly([&] { ftp.Rename(previous, name); });
                throw;
            }
            quietly([&] { ftp.Delete(temporary); });
        }
        quietly([&] { ftp.Delete(previous); });
    } catch (...) {
        if (ftp.Connected())
            quietly([&] { ftp.Delete(temporary); });
        throw;
    }
}
