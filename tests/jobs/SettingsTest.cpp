#include "jobs/Settings.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

TSettings loadSection(const std::string& body) {
    TempDir dir;
    IniFile ini(dir.write("m.ini", "[0]\r\n" + body));
    TSettings job;
    job.LoadFromSection(ini, "0");
    return job;
}

} // namespace

TEST(Settings, NewJobIsNetworkWithNothingAttached) {
    TSettings job;
    EXPECT_EQ(job.Kind, TSettings::Network);
    EXPECT_EQ(job.OwnFTP, nullptr);
    EXPECT_EQ(job.LogLines, nullptr);
    EXPECT_FALSE(job.UseCommon);
    EXPECT_FALSE(job.DefaultCheck);
}

TEST(Settings, KindIsDecodedCaseSensitively) {
    EXPECT_EQ(loadSection("Setting=Network\r\n").Kind, TSettings::Network);
    EXPECT_EQ(loadSection("Setting=Upload\r\n").Kind, TSettings::Upload);
    EXPECT_EQ(loadSection("Setting=network\r\n").Kind, TSettings::NarCreate);
    EXPECT_EQ(loadSection("Name=x\r\n").Kind, TSettings::Network);
    EXPECT_STREQ(TSettings::KindName(3), "NarCreate");
    EXPECT_STREQ(TSettings::KindName(TSettings::Upload), "Upload");
}

TEST(Settings, MissingSectionGivesReadDefaults) {
    TSettings job = loadSection("");
    EXPECT_EQ(job.Name, "");
    EXPECT_EQ(job.Kind, TSettings::Network);
    EXPECT_EQ(job.TargetFolder, ExtractFilePath(ExecutablePath()));
    EXPECT_EQ(job.NarName, job.TargetFolder); // an empty archive name becomes the base folder
    EXPECT_TRUE(job.DefaultCheck);
    ASSERT_NE(job.OwnFTP, nullptr);
    EXPECT_EQ(job.ProcessName, "");
}

TEST(Settings, BareArchiveNameGetsTheBaseFolderOnlyInJobSections) {
    TSettings job = loadSection("NarName=pack.nar\r\nTargetFolder=C:\\ghost\\\r\n");
    EXPECT_EQ(job.NarName, "C:\\ghost\\pack.nar");
    EXPECT_EQ(loadSection("NarName=/out/pack.nar\r\n").NarName, "/out/pack.nar");

    TempDir dir;
    TSettings fromFile;
    fromFile.LoadFromFile(
        dir.write("job.ini", "[General]\r\nNarName=pack.nar\r\nTargetFolder=C:\\ghost\\\r\n"));
    EXPECT_EQ(fromFile.NarName, "pack.nar");
    EXPECT_EQ(fromFile.TargetFolder, "C:\\ghost\\");
}

TEST(Settings, BooleansReadAsIntegers) {
    TSettings job = loadSection("Passive=yes\r\nSSL=2\r\nUseCommon=0x1\r\nDefaultCheck=0\r\n");
    EXPECT_FALSE(job.OwnFTP->Passive);
    EXPECT_TRUE(job.OwnFTP->SSL);
    EXPECT_TRUE(job.UseCommon);
    EXPECT_FALSE(job.DefaultCheck);
}

TEST(Settings, PatternListsRoundTrip) {
    TSettings job = loadSection("ProcessName=readme.*,ghost/master/*.dic\r\n");
    EXPECT_EQ(job.ProcessName, "readme.*\r\nghost/master/*.dic\r\n");

    TempDir dir;
    std::string path = dir / "m.ini";
    {
        IniFile ini(path);
        job.ExcludeName = "a\r\n\r\nb\r\n";
        job.SaveToSection(ini, "0");
        TSettings quoted;
        quoted.OwnFTP = std::make_unique<TFTPConfig>();
        quoted.ProcessName = "my file.txt\r\n";
        quoted.SaveToSection(ini, "1");
        ini.UpdateFile();
    }
    std::string text = ReadAll(path);
    EXPECT_NE(text.find("ProcessName=readme.*,ghost/master/*.dic\r\n"), std::string::npos);
    EXPECT_NE(text.find("ExcludeName=a,,b\r\n"), std::string::npos);
    EXPECT_NE(text.find("ProcessName=\"my file.txt\"\r\n"), std::string::npos);

    IniFile ini(path);
    TSettings back, quoted;
    back.LoadFromSection(ini, "0");
    quoted.LoadFromSection(ini, "1");
    EXPECT_EQ(back.ProcessName, job.ProcessName);
    EXPECT_EQ(back.ExcludeName, "a\r\n\r\nb\r\n");
    EXPECT_EQ(quoted.ProcessName, "my file.txt\r\n"); // one quoted item loads back unchanged
}

TEST(Settings, SaveWritesOwnServerKeysAndStoredPasswordInOrder) {
    TempDir dir;
    std::string path = dir / "m.ini";
    TFTPConfig common;
    common.Server = "common.example";
    TSettings job;
    job.Name = "ゴースト";
    job.Kind = TSettings::NarCreate;
    job.OwnFTP = std::make_unique<TFTPConfig>();
    job.OwnFTP->Server = "own.example";
    job.OwnFTP->EnteredPassword = "typed at the prompt";
    job.CommonFTP = &common;
    job.UseCommon = true;
    job.TargetFolder = "/g/";
    job.NarName = "/g/%y.nar";
    job.DefaultCheck = true;
    IniFile ini(path);
    job.SaveToSection(ini, "3");
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(path),
              "[3]\r\nName=\x83\x53\x81\x5B\x83\x58\x83\x67\r\nSetting=NarCreate\r\nServer=own.example\r\n"
              "ID=\r\nPassive=0\r\nSSL=0\r\nPassword=\r\nDirectory=\r\nHTML=\r\nNarName=/g/%y.nar\r\n"
              "UseCommon=1\r\nTargetFolder=/g/"
              "\r\nDefaultCheck=1\r\nProcessName=\r\nExcludeName=\r\nConnections=4\r\nExplicitTLS="
              "0\r\nCertFingerprint=\r\n"
              "HomeUrlCheck=1\r\n");
}

TEST(Settings, BaseFolderAddsOneDelimiter) {
    TSettings job;
    job.TargetFolder = "/g";
    EXPECT_EQ(job.BaseFolder(), std::string("/g") + NativeDelimiter);
    job.TargetFolder = "/g/";
    EXPECT_EQ(job.BaseFolder(), "/g/");
}

TEST(Settings, ConnectionsAreReadWrittenAndKeptWithinBounds) {
    TempDir dir;
    std::string path =
        dir.write("m.ini", "[0]\r\nName=a\r\n[1]\r\nConnections=2\r\n[2]\r\nConnections=999\r\n"
                           "[3]\r\nConnections=0\r\n[4]\r\nConnections=many\r\n");
    IniFile ini(path);
    const int expected[] = {4, 2, 16, 1, 4}; // an older file lacks the key: four
    for (int i = 0; i < 5; ++i) {
        TSettings job;
        job.LoadFromSection(ini, std::to_string(i));
        EXPECT_EQ(job.OwnFTP->Connections, expected[i]) << i;
    }
    TSettings job;
    job.LoadFromSection(ini, "1");
    IniFile out(dir / "out.ini");
    job.SaveToSection(out, "0");
    EXPECT_EQ(out.ReadInteger("0", "Connections", 0), 2);
}

TEST(Settings, NamesFoldersAndPasswordsComeBackAsTyped) {
    TempDir dir;
    std::string path = dir / "m.ini";
    TSettings job;
    job.Name = " 〜ghost ";
    job.TargetFolder = "/home/u/〜ghost/";
    job.ProcessName = "〜.txt\r\nmy file.txt\r\n";
    job.OwnFTP = std::make_unique<TFTPConfig>();
    job.OwnFTP->SetPassword("\"pass word\" ");
    {
        IniFile ini(path);
        job.SaveToSection(ini, "0");
        ini.UpdateFile();
    }
    TSettings back;
    back.LoadFromSection(IniFile(path), "0");
    EXPECT_EQ(back.Name, job.Name);
    EXPECT_EQ(back.TargetFolder, job.TargetFolder);
    EXPECT_EQ(back.ProcessName, job.ProcessName);
    EXPECT_EQ(back.OwnFTP->GetStoredPassword(), "\"pass word\" ");
}

TEST(Settings, HomeUrlCheckIsOnUnlessAJobSaysOffInEitherLayout) {
    TempDir dir;
    IniFile ini(dir.write("m.ini", "[0]\r\nName=old\r\n[1]\r\nHomeUrlCheck=0\r\n"));
    TSettings older, off;
    older.LoadFromSection(ini, "0");
    off.LoadFromSection(ini, "1");
    EXPECT_TRUE(older.HomeUrlCheck); // files from before the key: on
    EXPECT_FALSE(off.HomeUrlCheck);

    // Saved and read back, in a job section and as a job file's "General".
    IniFile out(dir / "out.ini");
    off.SaveToSection(out, "0");
    older.SaveToSection(out, "General");
    out.UpdateFile();
    TSettings again, fromFile;
    again.LoadFromSection(IniFile(dir / "out.ini"), "0");
    EXPECT_FALSE(again.HomeUrlCheck);
    fromFile.LoadFromFile(dir / "out.ini");
    EXPECT_TRUE(fromFile.HomeUrlCheck);
    off.SaveToSection(out, "General");
    out.UpdateFile();
    fromFile.LoadFromFile(dir / "out.ini");
    EXPECT_FALSE(fromFile.HomeUrlCheck);
}
