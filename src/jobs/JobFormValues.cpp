#include "JobFormValues.h"

#include "Settings.h"

#include <memory>

TJobFormValues TJobFormValues::Of(const TSettings& job) {
    TJobFormValues v;
    v.Kind = job.Kind;
    v.Name = job.Name;
    v.DefaultCheck = job.DefaultCheck;
    v.TargetFolder = job.BaseFolder();
    v.Directory = job.Directory;
    v.HomeUrlCheck = job.HomeUrlCheck;
    v.HTML = job.HTML;
    v.NarName = job.NarName;
    v.UseCommon = job.UseCommon;
    v.ProcessName = job.ProcessName;
    v.ExcludeName = job.ExcludeName;
    const TFTPConfig* ftp = job.UseCommon ? job.CommonFTP : job.OwnFTP.get();
    if (ftp) {
        v.Server = ftp->Server;
        v.ID = ftp->ID;
        v.Password = ftp->GetStoredPassword();
        v.Passive = ftp->Passive;
        v.SSL = ftp->SSL;
        v.ExplicitTLS = ftp->ExplicitTLS;
    }
    return v;
}

void TJobFormValues::ApplyTo(TSettings& job, TFTPConfig& common) const {
    job.CommonFTP = &common;
    const std::string previousServer = MakeCommon ? common.Server : job.OwnFTP ? job.OwnFTP->Server : "";
    // The own settings start anew but for what the editor does not show.
    auto own = std::make_unique<TFTPConfig>();
    if (job.OwnFTP)
        own->CopyConnectionSettings(*job.OwnFTP);
    job.OwnFTP = std::move(own);
    TFTPConfig& ftp = MakeCommon ? common : *job.OwnFTP;
    ftp.Server = Server;
    ftp.ID = ID;
    ftp.SetPassword(Password);
    ftp.Passive = Passive;
    ftp.SSL = SSL;
    ftp.ExplicitTLS = ExplicitTLS;
    if (ftp.Server != previousServer)
        ftp.CertFingerprint.clear();
    job.Kind = Kind;
    job.Name = Name;
    job.Directory = Directory;
    job.TargetFolder = TargetFolder;
    job.UseCommon = UseCommon;
    job.HTML = HTML;
    job.NarName = NarName;
    job.ProcessName = ProcessName;
    job.ExcludeName = ExcludeName;
    job.DefaultCheck = DefaultCheck;
    job.HomeUrlCheck = HomeUrlCheck;
}
