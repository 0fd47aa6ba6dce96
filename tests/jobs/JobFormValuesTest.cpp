#include "jobs/JobFormValues.h"
#include "jobs/Settings.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

namespace {

TSettings ownJob() {
    TSettings job;
    job.Kind = TSettings::Upload;
    job.Name = "さくら";
    job.TargetFolder = "/home/u/ghost";
    job.Directory = "pub";
    job.NarName = "/home/u/%year.nar";
    job.ProcessName = "*.txt\r\n";
    job.HomeUrlCheck = false;
    job.OwnFTP = std::make_unique<TFTPConfig>();
    job.OwnFTP->Server = "ftp.example.jp";
    job.OwnFTP->ID = "me";
    job.OwnFTP->SetPassword("pw");
    job.OwnFTP->SSL = true;
    job.OwnFTP->Connections = 2;
    job.OwnFTP->CertFingerprint = "SHA256:AB";
    return job;
}

} // namespace

TEST(JobFormValues, WhatTheEditorDoesNotShowStaysAndATrustedCertificateStaysWithItsServer) {
    TFTPConfig common;
    TSettings job = ownJob();
    TJobFormValues v = TJobFormValues::Of(job);
    EXPECT_EQ(v.TargetFolder, std::string("/home/u/ghost") + NativeDelimiter); // shown with its delimiter
    EXPECT_EQ(v.Server, "ftp.example.jp");
    EXPECT_EQ(v.Password, "pw");
    EXPECT_FALSE(v.HomeUrlCheck);

    v.Name = "まりさ";
    v.ApplyTo(job, common);
    EXPECT_EQ(job.Name, "まりさ");
    EXPECT_EQ(job.Kind, TSettings::Upload);
    EXPECT_EQ(job.OwnFTP->Connections, 2);
    EXPECT_EQ(job.OwnFTP->CertFingerprint, "SHA256:AB"); // the same server: still trusted
    EXPECT_EQ(job.CommonFTP, &common);

    v.Server = "ftp.other.jp";
    v.ApplyTo(job, common);
    EXPECT_EQ(job.OwnFTP->Connections, 2);
    EXPECT_EQ(job.OwnFTP->CertFingerprint, ""); // it vouched for the other server only
}

TEST(JobFormValues, MakeCommonSendsTheServerSettingsToTheCommonOnes) {
    TFTPConfig common;
    common.Server = "ftp.example.jp";
    common.CertFingerprint = "SHA256:CD";
    TSettings job = ownJob();
    TJobFormValues v = TJobFormValues::Of(job);
    v.MakeCommon = true;
    v.UseCommon = true;
    v.ID = "shared";
    v.ApplyTo(job, common);
    EXPECT_EQ(common.ID, "shared");
    EXPECT_EQ(common.GetStoredPassword(), "pw");
    EXPECT_EQ(common.CertFingerprint, "SHA256:CD"); // the common server did not change
    EXPECT_EQ(job.OwnFTP->ID, "");                  // the own settings were not the ones edited
    EXPECT_EQ(job.OwnFTP->Connections, 2);
    EXPECT_EQ(TJobFormValues::Of(job).ID, "shared"); // a job on the common settings shows them
}

TEST(JobFormValues, ACopyHasEverySettingAndServerSettingsOfItsOwn) {
    TSettings source = ownJob();
    TSettings copy;
    copy.CopyFrom(source);
    EXPECT_EQ(copy.Name, source.Name);
    EXPECT_EQ(copy.Kind, source.Kind);
    EXPECT_EQ(copy.TargetFolder, std::string("/home/u/ghost") + NativeDelimiter);
    EXPECT_EQ(copy.NarName, source.NarName);
    EXPECT_EQ(copy.HomeUrlCheck, source.HomeUrlCheck);
    EXPECT_EQ(copy.OwnFTP->GetStoredPassword(), "pw");
    EXPECT_EQ(copy.OwnFTP->Connections, 2);
    EXPECT_EQ(copy.OwnFTP->CertFingerprint, "SHA256:AB");
    ASSERT_NE(copy.OwnFTP.get(), source.OwnFTP.get());
    copy.OwnFTP->Server = "changed";
    EXPECT_EQ(source.OwnFTP->Server, "ftp.example.jp");
}
