#include "app/MainForm.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(MainForm, ShowsTheJobsWithTheirTicksAndSavesOnClose) {
    TempDir dir;
    dir.write("quillon.ini", "[General]\r\nNoLog=1\r\nSettingsCount=2\r\n[0]\r\nName=ゴースト\r\n"
                             "[1]\r\nName=second\r\nDefaultCheck=0\r\n");
    ScriptedPrompts prompts;
    {
        TMainForm form(dir / "quillon");
        EXPECT_EQ(form.windowTitle(), "Quillon");
        ASSERT_EQ(form.ProcessCheckList->count(), 2);
        EXPECT_EQ(form.ProcessCheckList->item(0)->text(), QString::fromUtf8("ゴースト"));
        EXPECT_EQ(form.ProcessCheckList->item(0)->checkState(), Qt::Checked);
        EXPECT_EQ(form.ProcessCheckList->item(1)->checkState(), Qt::Unchecked);
        EXPECT_EQ(form.ProcessCheckList->currentRow(), -1);
        EXPECT_EQ(form.JobAt(1)->Name, "second");
        EXPECT_FALSE(form.LogCheck->isChecked());
        EXPECT_TRUE(form.NoLogWindowCheck->isChecked());
        EXPECT_EQ(form.RunButton->text(), QString::fromUtf8("実行(&X)"));
        EXPECT_EQ(form.LogCheck->text(), QString::fromUtf8("ログ保存(&L)"));

        // The user's ticks of this run are not stored; the list order and the options are.
        form.ProcessCheckList->item(1)->setCheckState(Qt::Checked);
        form.LogCheck->setChecked(true);
        form.close();
    }
    EXPECT_TRUE(prompts.errors.empty());
    IniFile ini(dir / "quillon.ini");
    EXPECT_EQ(ini.ReadInteger("General", "SettingsCount", 0), 2);
    EXPECT_TRUE(ini.ReadBool("General", "IsLog", false));
    EXPECT_EQ(ini.ReadString("0", "Name", ""), "ゴースト");
    EXPECT_FALSE(ini.ReadBool("1", "DefaultCheck", true));
}

TEST(MainForm, ImportFailureIsShownAndTheWindowOpensWithTheJobsSoFar) {
    TempDir dir;
    dir.write("a.ini", "[General]\r\nName=a\r\n");
    dir.write("b.ini", "[General]\r\nName=b\r\n");
    dir.write("a.in_", "[General]\r\nName=left over\r\n");
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], "I/O error 17.");
    ASSERT_EQ(form.ProcessCheckList->count(), 1);
    EXPECT_EQ(form.ProcessCheckList->item(0)->text(), "left over");
    EXPECT_TRUE(FileExists(dir / "a.ini"));
    EXPECT_TRUE(FileExists(dir / "b.ini"));
}

TEST(MainForm, FailedSaveShowsTheWriteError) {
    TempDir dir;
    dir.mkdir("quillon.ini");
    ScriptedPrompts prompts;
    {
        TMainForm form(dir / "quillon");
        form.ExitMenuClick();
    }
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], dir / "quillon.ini に書き込めません");
}

TEST(MainForm, AboutShowsTitleAndVersionOnOneLine) {
    TempDir dir;
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    prompts.answers.push_back(false);
    form.AboutMenu->trigger();
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0].title, "情報");
    EXPECT_EQ(prompts.questions[0].text, "Quillon0.1.0.33\n開発元サイトを開きますか？");
    EXPECT_EQ(prompts.questions[0].icon, UserPrompts::Icon::Information);
}
