#include "app/MainForm.h"
#include "editor/CreateForm.h"
#include "platform/IniFile.h"
#include "platform/TextLines.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Job sections for the given names and kinds ("Network", "Upload", "NarCreate"), all ticked at start-up
// unless the name starts with '-'.
std::string jobs(const std::vector<std::pair<std::string, std::string>>& list,
                 const std::string& extra = "") {
    std::string ini = "[General]\r\nSettingsCount=" + std::to_string(list.size()) + "\r\n" + extra;
    for (size_t i = 0; i < list.size(); ++i) {
        const auto& [name, kind] = list[i];
        ini += "[" + std::to_string(i) + "]\r\nName=" + name + "\r\nSetting=" + kind +
               "\r\nDefaultCheck=" + (name[0] == '-' ? "0" : "1") + "\r\n";
    }
    return ini;
}

std::vector<std::string> captions(const TMainForm& form) {
    std::vector<std::string> result;
    for (int row = 0; row < form.ProcessCheckList->count(); ++row)
        result.push_back(form.ProcessCheckList->item(row)->text().toStdString());
    return result;
}

std::vector<bool> ticks(const TMainForm& form) {
    std::vector<bool> result;
    for (int row = 0; row < form.ProcessCheckList->count(); ++row)
        result.push_back(form.ProcessCheckList->item(row)->checkState() == Qt::Checked);
    return result;
}

// "key=value " for each key of a section, in the order given.
std::string keys(const IniFile& ini, const std::string& section, std::initializer_list<const char*> names) {
    std::string result;
    for (const char* key : names)
        result += std::string(key) + "=" + ini.ReadString(section, key, "?") + " ";
    return result;
}

// The user's part in the editor: what they do in it (`act`), then OK or Cancel.
struct EditorUser {
    explicit EditorUser(TMainForm& form) {
        form.ShowEditor = [this](TCreateForm& editor) {
            ++shown;
            if (act)
                act(editor);
            return ok;
        };
    }
    std::function<void(TCreateForm&)> act;
    bool ok = true;
    int shown = 0;
};

} // namespace

TEST(JobCommands, NewWithOkAtOnceAddsAnUntickedNetworkJobWithTheEditorsDefaults) {
    TempDir dir;
    ScriptedPrompts prompts;
    {
        TMainForm form(dir / "quillon");
        EditorUser user(form);
        user.ok = false;
        form.NewButton->click();
        EXPECT_EQ(user.shown, 1);
        EXPECT_EQ(form.ProcessCheckList->count(), 0);

        user.ok = true;
        form.NewButton->click();
        EXPECT_EQ(ticks(form), std::vector<bool>{false});
        EXPECT_EQ(form.JobAt(0)->CommonFTP, &form.Store().CommonFTP);
        form.close();
    }
    IniFile ini(dir / "quillon.ini");
    EXPECT_EQ(ini.ReadInteger("General", "SettingsCount", 0), 1);
    EXPECT_EQ(keys(ini, "0",
                   {"Name", "Setting", "Server", "ID", "Password", "Passive", "SSL", "Directory", "HTML",
                    "NarName", "UseCommon", "TargetFolder", "DefaultCheck"}),
              "Name= Setting=Network Server= ID= Password= Passive=0 SSL=0 Directory=/ HTML= NarName= "
              "UseCommon=0 TargetFolder= DefaultCheck=1 ");
    std::vector<std::string> include = FromCommaText(ini.ReadRawString("0", "ProcessName", ""));
    ASSERT_EQ(include.size(), 33u);
    EXPECT_EQ(include[1], "install.txt");
    EXPECT_EQ(FromCommaText(ini.ReadRawString("0", "ExcludeName", "")).size(), 20u);
    EXPECT_TRUE(prompts.errors.empty());
}

TEST(JobCommands, CommandsThatNeedASelectionDoNothingWithoutOne) {
    TempDir dir;
    dir.write("quillon.ini", jobs({{"a", "Network"}, {"b", "Upload"}}));
    TMainForm form(dir / "quillon");
    EditorUser user(form);
    for (QPushButton* b : {form.EditButton, form.CopyButton, form.DeleteButton, form.Button1, form.Button2})
        b->click();
    EXPECT_EQ(user.shown, 0);
    EXPECT_EQ(captions(form), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(form.SelectedRow(), -1);
}

TEST(JobCommands, UpAndDownMoveTheJobWithItsTickAndSelection) {
    TempDir dir;
    dir.write("quillon.ini", jobs({{"-first", "Network"}, {"second", "Upload"}, {"third", "NarCreate"}}));
    TMainForm form(dir / "quillon");
    TSettings* second = form.JobAt(1);
    form.ProcessCheckList->setCurrentRow(1);
    form.Button1->click();
    form.Button1->click(); // already first
    EXPECT_EQ(captions(form), (std::vector<std::string>{"second", "-first", "third"}));
    EXPECT_EQ(ticks(form), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(form.JobAt(0), second);
    EXPECT_EQ(form.SelectedRow(), 0);

    form.Button2->click();
    form.Button2->click();
    form.Button2->click(); // already last
    EXPECT_EQ(captions(form), (std::vector<std::string>{"-first", "third", "second"}));
    EXPECT_EQ(ticks(form), (std::vector<bool>{false, true, true}));
    EXPECT_EQ(form.JobAt(2), second);
    EXPECT_EQ(form.SelectedRow(), 2);
}

TEST(JobCommands, CopiesAreUntickedAtTheEndWithTheSourcesValuesAndAPasswordOfTheirOwn) {
    TempDir dir;
    dir.write("quillon.ini",
              "[General]\r\nSettingsCount=2\r\n[0]\r\nName=other\r\n"
              "[1]\r\nName=src\r\nSetting=Upload\r\nServer=ftp.example\r\nID=me\r\n"
              "Password=stored\r\nPassive=1\r\nSSL=1\r\nDirectory=/pub\r\nHTML=/w/i.html\r\n"
              "NarName=/o/a.nar\r\nUseCommon=1\r\nTargetFolder=/g/src\r\nDefaultCheck=1\r\n"
              "ProcessName=*.txt,\"a b\"\r\nExcludeName=x\r\nConnections=2\r\nExplicitTLS=1\r\n"
              "CertFingerprint=SHA256:0123\r\nHomeUrlCheck=0\r\n");
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    TSettings* source = form.JobAt(1);
    source->OwnFTP->EnteredPassword = "typed at a prompt";
    form.ProcessCheckList->setCurrentRow(1);
    form.CopyButton->click();
    form.CopyButton->click();
    EXPECT_EQ(captions(form), (std::vector<std::string>{"other", "src", "src", "src"}));
    EXPECT_EQ(ticks(form), (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(form.SelectedRow(), 1);

    // Everything a job saves is the source's, but the base folder gains its delimiter.
    TSettings* copy = form.JobAt(3);
    ASSERT_NE(copy, source);
    EXPECT_NE(copy, form.JobAt(2));
    IniFile both(dir / "both.ini");
    source->SaveToSection(both, "source");
    copy->SaveToSection(both, "copy");
    for (const char* key : {"Name", "Setting", "Server", "ID", "Passive", "SSL", "Password", "Directory",
                            "HTML", "NarName", "UseCommon", "DefaultCheck", "ProcessName", "ExcludeName",
                            "Connections", "ExplicitTLS", "CertFingerprint", "HomeUrlCheck"})
        EXPECT_EQ(both.ReadRawString("copy", key, "?"), both.ReadRawString("source", key, "!")) << key;
    EXPECT_EQ(both.ReadRawString("copy", "CertFingerprint", "?"), "SHA256:0123");
    EXPECT_EQ(copy->TargetFolder, "/g/src" + NativeSep);
    EXPECT_EQ(copy->CommonFTP, &form.Store().CommonFTP);
    EXPECT_EQ(copy->LogLines, nullptr);
    ASSERT_NE(copy->OwnFTP.get(), source->OwnFTP.get());
    EXPECT_EQ(copy->OwnFTP->EnteredPassword, "stored");
    copy->OwnFTP->SetPassword("changed");
    EXPECT_EQ(source->OwnFTP->Password, "stored");
}

TEST(JobCommands, EditShowsTheJobAndTakesItsValuesAsTyped) {
    TempDir dir;
    dir.write("quillon.ini",
              "[General]\r\nSettingsCount=2\r\n[0]\r\nName=a\r\n"
              "[1]\r\nName=b\r\nSetting=Upload\r\nServer=own.example\r\nID=me\r\n"
              "Password=pw\r\nSSL=1\r\nDirectory=/pub\r\nHTML=/w/i.html\r\nNarName=/o/b.nar\r\n"
              "TargetFolder=/g/b\r\nDefaultCheck=1\r\nProcessName=*.txt\r\nExcludeName=\r\n");
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TSettings* job = form.JobAt(1);
    job->OwnFTP->EnteredPassword = "typed at a prompt";
    EditorUser user(form);
    user.act = [](TCreateForm& editor) {
        EXPECT_TRUE(editor.NarUpRadio->isChecked());
        EXPECT_TRUE(editor.HTMLEdit->isEnabled());
        EXPECT_EQ(editor.NameEdit->text(), "b");
        EXPECT_EQ(editor.ServerEdit->text(), "own.example");
        EXPECT_EQ(editor.PasswordEdit->text(), "pw");
        EXPECT_TRUE(editor.SSLCheck->isChecked());
        EXPECT_FALSE(editor.PassiveCheck->isChecked());
        EXPECT_EQ(editor.NarNameEdit->text(), "/o/b.nar");
        EXPECT_EQ(editor.TargetFolderEdit->text().toStdString(), "/g/b" + NativeSep);
        // The job's own list, not the one the kind's selection adjusted.
        EXPECT_EQ(TCreateForm::ListText(editor.ProcessNameMemo), "*.txt\r\n");
        EXPECT_EQ(TCreateForm::ListText(editor.EscapeNameMemo), "");

        editor.NameEdit->setText(" renamed ");
        editor.TargetFolderEdit->setText("/no/delimiter");
        editor.PasswordEdit->clear();
        editor.NarCreateRadio->click();
    };
    // The list's double-click edits the item clicked.
    QRect cell = form.ProcessCheckList->visualItemRect(form.ProcessCheckList->item(1));
    // As the window system delivers it: press, release, press, double-click, release.
    QWidget* list = form.ProcessCheckList->viewport();
    QTest::mouseClick(list, Qt::LeftButton, {}, cell.center());
    QTest::mousePress(list, Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list, Qt::LeftButton, {}, cell.center());
    QTest::mouseRelease(list, Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(user.shown, 1);
    EXPECT_EQ(captions(form), (std::vector<std::string>{"a", " renamed "}));
    EXPECT_EQ(ticks(form), (std::vector<bool>{true, true}));
    EXPECT_EQ(form.SelectedRow(), 1);
    EXPECT_EQ(form.JobAt(1), job);
    EXPECT_EQ(job->Name, " renamed ");
    EXPECT_EQ(job->Kind, TSettings::NarCreate);
    EXPECT_EQ(job->TargetFolder, "/no/delimiter");
    EXPECT_EQ(job->ProcessName, "*.txt\r\ninstall.txt\r\nupdates2.dau\r\nghost/master/updates2.dau\r\n");
    EXPECT_EQ(job->HTML, "/w/i.html"); // disabled fields are taken too
    EXPECT_EQ(job->OwnFTP->Password, "");
    EXPECT_EQ(job->OwnFTP->EnteredPassword, ""); // the typed one is replaced, by nothing
    EXPECT_EQ(job->OwnFTP->Server, "own.example");

    // Cancel leaves the job as it was, whatever was changed in the editor.
    user.ok = false;
    user.act = [](TCreateForm& editor) {
        editor.NameEdit->setText("other");
        editor.SetDefaultButton->click();
        editor.ServerEdit->setText("x");
    };
    form.EditButton->click();
    EXPECT_EQ(user.shown, 2);
    EXPECT_EQ(job->Name, " renamed ");
    EXPECT_EQ(job->OwnFTP->Server, "own.example");
    EXPECT_EQ(form.Store().CommonFTP.Server, "");
    EXPECT_EQ(captions(form)[1], " renamed ");
}

TEST(JobCommands, CommonSettingsAreShownForAJobThatUsesThemAndChangedOnlyByTheMakeCommonButton) {
    TempDir dir;
    dir.write("quillon.ini", "[FTP]\r\nServer=common.example\r\nID=all\r\nPassword=cpw\r\nPassive=1\r\n"
                             "[General]\r\nSettingsCount=2\r\n"
                             "[0]\r\nName=a\r\nServer=own.example\r\nUseCommon=1\r\n"
                             "[1]\r\nName=b\r\nUseCommon=1\r\n");
    ScriptedPrompts prompts;
    {
        TMainForm form(dir / "quillon");
        EditorUser user(form);
        user.act = [](TCreateForm& editor) {
            EXPECT_EQ(editor.ServerEdit->text(), "common.example");
            EXPECT_EQ(editor.IDEdit->text(), "all");
            EXPECT_EQ(editor.PasswordEdit->text(), "cpw");
            EXPECT_TRUE(editor.PassiveCheck->isChecked());
            EXPECT_TRUE(editor.UseDefaultFTPCheck->isChecked());
        };
        form.ProcessCheckList->setCurrentRow(0);
        form.EditButton->click();
        TSettings* a = form.JobAt(0);
        EXPECT_EQ(a->OwnFTP->Server, "common.example"); // copied into the job's own settings
        EXPECT_EQ(a->OwnFTP->Password, "cpw");
        EXPECT_TRUE(a->OwnFTP->Passive);
        EXPECT_EQ(form.Store().CommonFTP.Server, "common.example");

        user.act = [](TCreateForm& editor) {
            editor.SetDefaultButton->click();
            editor.ServerEdit->setText("new.example");
            editor.PasswordEdit->setText("npw");
        };
        form.EditButton->click();
        EXPECT_EQ(form.Store().CommonFTP.Server, "new.example");
        EXPECT_EQ(form.Store().CommonFTP.EnteredPassword, "npw");
        EXPECT_EQ(form.JobAt(1)->CommonFTP->Server, "new.example"); // every job that uses them
        EXPECT_EQ(a->OwnFTP->Server + a->OwnFTP->ID + a->OwnFTP->Password, "");
        EXPECT_FALSE(a->OwnFTP->Passive || a->OwnFTP->SSL);
        form.close();
    }
    IniFile ini(dir / "quillon.ini");
    EXPECT_EQ(ini.ReadString("FTP", "Server", ""), "new.example");
    EXPECT_EQ(ini.ReadString("FTP", "Password", ""), "npw");
    EXPECT_EQ(ini.ReadString("0", "Server", "?"), "");
}

TEST(JobCommands, TickByKindTicksExactlyThatKind) {
    TempDir dir;
    dir.write("quillon.ini",
              jobs({{"n1", "Network"}, {"-u", "Upload"}, {"a", "NarCreate"}, {"-n2", "Network"}}));
    TMainForm form(dir / "quillon");
    form.UpdateSelectButton->click();
    EXPECT_EQ(ticks(form), (std::vector<bool>{true, false, false, true}));
    form.UploadSelectButton->click();
    EXPECT_EQ(ticks(form), (std::vector<bool>{false, true, false, false}));
    form.NarSelectButton->click();
    EXPECT_EQ(ticks(form), (std::vector<bool>{false, false, true, false}));
    form.AllSelectButton->click();
    EXPECT_EQ(ticks(form), (std::vector<bool>{true, true, true, true}));
    form.DeSellectButton->click();
    EXPECT_EQ(ticks(form), (std::vector<bool>{false, false, false, false}));
}

TEST(JobCommands, ADeletedJobIsAbsentFromTheSavedFile) {
    TempDir dir;
    dir.write("quillon.ini", jobs({{"a", "Network"}, {"b", "Upload"}, {"c", "NarCreate"}}));
    {
        TMainForm form(dir / "quillon");
        form.ProcessCheckList->setCurrentRow(1);
        form.DeleteButton->click();
        EXPECT_EQ(captions(form), (std::vector<std::string>{"a", "c"}));
        EXPECT_EQ(form.SelectedRow(), -1);
        EXPECT_EQ(form.ProcessCheckList->currentRow(), -1);
        form.close();
    }
    IniFile ini(dir / "quillon.ini");
    EXPECT_EQ(ini.ReadInteger("General", "SettingsCount", 0), 2);
    EXPECT_EQ(ini.ReadString("0", "Name", ""), "a");
    EXPECT_EQ(ini.ReadString("1", "Name", ""), "c");
    EXPECT_EQ(ini.ReadString("1", "Setting", ""), "NarCreate");
    EXPECT_EQ(ini.ReadString("2", "Name", ""), "c"); // beyond the count, left as it was
}

TEST(JobCommands, KeyboardSharedLettersMoveTheFocusUniqueOnesActAndAltF4Exits) {
    TempDir dir;
    dir.write("quillon.ini", jobs({{"-archive", "NarCreate"}, {"-upload", "Upload"}}));
    ScriptedPrompts prompts;
    auto* form = new TMainForm(dir / "quillon");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->ProcessCheckList->setFocus();
    EditorUser user(*form);
    user.act = [](TCreateForm& editor) { editor.NameEdit->setText("typed"); };
    // "&N" is New's and the archive-only tick button's: the focus goes to each in turn, neither acts.
    QTest::keyClick(form, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), form->NewButton);
    QTest::keyClick(form, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), form->NarSelectButton);
    // "&L" is the upload tick button's and the save-log option's: pressed for the option, it must not
    // choose which jobs run.
    QTest::keyClick(form, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), form->LogCheck); // the next after the archive-only button
    QTest::keyClick(form, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), form->UploadSelectButton); // round to the first
    QTest::keyClick(form, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), form->LogCheck);
    QTest::qWait(300); // longer than a button's animated click
    EXPECT_EQ(user.shown, 0);
    EXPECT_EQ(ticks(*form), (std::vector<bool>{false, false}));
    EXPECT_FALSE(form->LogCheck->isChecked());
    QTest::keyClick(form->LogCheck, Qt::Key_Space); // the focused control takes the key
    EXPECT_TRUE(form->LogCheck->isChecked());

    // Letters of one control act at once.
    QTest::keyClick(form, Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->NoLogWindowCheck->isChecked(); }));
    QTest::keyClick(form, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks(*form) == std::vector<bool>{true, true}; }));
    // With New disabled (as while a run lasts) "&N" is the tick button's alone.
    form->NewButton->setEnabled(false);
    QTest::keyClick(form, Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks(*form) == std::vector<bool>{true, false}; }));
    form->NewButton->setEnabled(true);

    // New from the keyboard: its letter, then Space.
    form->ProcessCheckList->setFocus();
    QTest::keyClick(form, Qt::Key_N, Qt::AltModifier);
    QTest::keyClick(form->NewButton, Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return user.shown == 1; }));
    EXPECT_EQ(captions(*form), (std::vector<std::string>{"-archive", "-upload", "typed"}));

    QTest::keyClick(form, Qt::Key_F4, Qt::AltModifier);
    EXPECT_FALSE(form->isVisible());
    delete form;
    IniFile ini(dir / "quillon.ini");
    EXPECT_EQ(ini.ReadString("2", "Name", ""), "typed");
    EXPECT_TRUE(ini.ReadBool("General", "IsLog", false));
}

TEST(JobCommands, WindowStartsAtItsSizeAndShrinksNoFurtherThanTheLimit) {
    TempDir dir;
    TMainForm form(dir / "quillon");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.centralWidget()->width(), 292);
    EXPECT_EQ(form.centralWidget()->height() + form.StatusBar1->height(), 560);
    form.resize(50, 50);
    EXPECT_EQ(form.frameGeometry().size(), QSize(200, 410));
}

TEST(JobCommands, ExplicitTlsFollowsSslAndATrustedCertificateStaysWithItsServer) {
    TempDir dir;
    dir.write("quillon.ini", "[General]\r\nSettingsCount=1\r\n[0]\r\nName=tls\r\nServer=ftp.example\r\n"
                             "SSL=1\r\nExplicitTLS=1\r\nCertFingerprint=SHA256:0123\r\nConnections=3\r\n");
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    EditorUser user(form);
    std::vector<bool> seen;
    user.act = [&](TCreateForm& editor) {
        EXPECT_TRUE(editor.ExplicitTLSCheck->isChecked());
        seen.push_back(editor.ExplicitTLSCheck->isEnabled());
        editor.SSLCheck->setChecked(false);
        seen.push_back(editor.ExplicitTLSCheck->isEnabled());
        editor.SSLCheck->setChecked(true);
        editor.NarCreateRadio->setChecked(true); // the server fields go, and the box with them
        seen.push_back(editor.ExplicitTLSCheck->isEnabled());
        editor.NetworkRadio->setChecked(true);
        seen.push_back(editor.ExplicitTLSCheck->isEnabled());
    };
    form.ProcessCheckList->setCurrentRow(0);
    form.EditButton->click();
    EXPECT_EQ(seen, (std::vector<bool>{true, false, false, true}));
    TSettings* job = form.JobAt(0);
    EXPECT_TRUE(job->OwnFTP->ExplicitTLS);
    EXPECT_EQ(job->OwnFTP->CertFingerprint, "SHA256:0123"); // the same server: still trusted
    EXPECT_EQ(job->OwnFTP->Connections, 3);

    user.act = [](TCreateForm& editor) {
        editor.ServerEdit->setText("other.example");
        editor.ExplicitTLSCheck->setChecked(false);
    };
    form.EditButton->click();
    EXPECT_FALSE(job->OwnFTP->ExplicitTLS);
    EXPECT_TRUE(job->OwnFTP->CertFingerprint.empty()); // another server: its certificate is not that one
    EXPECT_EQ(job->OwnFTP->Connections, 3);
}

TEST(JobCommands, TheHomeUrlCheckIsShownForNetworkUpdatesAndTakenAsTicked) {
    TempDir dir;
    dir.write("quillon.ini", "[General]\r\nSettingsCount=2\r\n[0]\r\nName=net\r\nHomeUrlCheck=0\r\n"
                             "[1]\r\nName=nar\r\nSetting=NarCreate\r\n");
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    EditorUser user(form);
    bool shownTicked = true, enabled = false;
    user.act = [&](TCreateForm& editor) {
        shownTicked = editor.HomeUrlCheckBox->isChecked();
        enabled = editor.HomeUrlCheckBox->isEnabled();
        editor.HomeUrlCheckBox->setChecked(!shownTicked);
    };
    form.ProcessCheckList->setCurrentRow(0);
    form.EditButton->click();
    EXPECT_FALSE(shownTicked);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(form.JobAt(0)->HomeUrlCheck);
    form.ProcessCheckList->setCurrentRow(1);
    form.EditButton->click();
    EXPECT_TRUE(shownTicked); // the default
    EXPECT_FALSE(enabled);    // an archive has no home URL to check
    EXPECT_FALSE(form.JobAt(1)->HomeUrlCheck);
    form.close();
    IniFile saved(dir / "quillon.ini");
    EXPECT_EQ(saved.ReadString("0", "HomeUrlCheck", ""), "1");
    EXPECT_EQ(saved.ReadString("1", "HomeUrlCheck", ""), "0");
}
