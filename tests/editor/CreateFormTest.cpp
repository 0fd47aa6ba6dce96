#include "editor/CreateForm.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A list's lines as a job receives them.
QStringList lines(const QPlainTextEdit* memo) {
    QStringList result = QString::fromStdString(TCreateForm::ListText(memo)).split("\r\n");
    result.removeLast(); // after the last line's CR LF
    return result;
}

QString u(const char* text) {
    return QString::fromUtf8(text);
}

// Answers the next modal dialog once it is up: `answer` gets it; whatever it leaves open is cancelled, so
// the test never hangs on it. Gives up after two seconds without a dialog.
void whenModal(std::function<void(QWidget*)> answer) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(200);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, answer] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog && --*tries > 0)
            return;
        poll->deleteLater();
        poll->stop();
        if (!dialog) {
            ADD_FAILURE() << "no dialog came up";
            return;
        }
        answer(dialog);
        if (dialog->isVisible())
            if (auto* d = qobject_cast<QDialog*>(dialog))
                d->reject();
    });
    poll->start(10);
}

} // namespace

TEST(CreateForm, NewEditorShowsANetworkJobWithTheDefaultLists) {
    TCreateForm editor;
    EXPECT_EQ(editor.windowTitle(), u("新規作成"));
    EXPECT_EQ(editor.size(), QSize(639, 588));
    EXPECT_TRUE(editor.NetworkRadio->isChecked());
    EXPECT_TRUE(editor.DefaultCheckBox->isChecked());
    EXPECT_EQ(editor.UpDirEdit->text(), "/");
    EXPECT_FALSE(editor.HTMLEdit->isEnabled());
    EXPECT_FALSE(editor.HTMLLocateButton->isEnabled());
    EXPECT_FALSE(editor.NarNameEdit->isEnabled());
    EXPECT_TRUE(editor.NarLocateButton->isEnabled());
    EXPECT_TRUE(editor.ServerEdit->isEnabled());
    EXPECT_FALSE(editor.MakeCommon);

    QStringList include = lines(editor.ProcessNameMemo);
    ASSERT_EQ(include.size(), 33);
    EXPECT_EQ(include[1], "install.txt");
    EXPECT_EQ(include[32], "shell/master/*.pnr");
    QStringList exclude = lines(editor.EscapeNameMemo);
    ASSERT_EQ(exclude.size(), 20);
    EXPECT_EQ(exclude[17], u("ghost/master/れしば.txt"));
    EXPECT_EQ(exclude[18], exclude[5]);

    // Selecting the kind already selected changes nothing.
    editor.NetworkRadio->click();
    EXPECT_EQ(lines(editor.ProcessNameMemo), include);
}

TEST(CreateForm, KindSwitchesEditTheIncludeListAndEnableTheKindsFields) {
    TCreateForm editor;
    const QStringList defaults = lines(editor.ProcessNameMemo);

    editor.NarUpRadio->click();
    EXPECT_EQ(lines(editor.ProcessNameMemo),
              (defaults + QStringList{"updates2.dau", "ghost/master/updates2.dau"}));
    EXPECT_TRUE(editor.HTMLEdit->isEnabled());
    EXPECT_TRUE(editor.HTMLLocateButton->isEnabled());
    EXPECT_TRUE(editor.NarNameEdit->isEnabled());
    EXPECT_TRUE(editor.ServerEdit->isEnabled());
    EXPECT_TRUE(editor.UpDirEdit->isEnabled());

    editor.NetworkRadio->click();
    QStringList network = defaults + QStringList{"", ""};
    network[1] = "";
    EXPECT_EQ(lines(editor.ProcessNameMemo), network);
    EXPECT_FALSE(editor.HTMLEdit->isEnabled());
    EXPECT_FALSE(editor.HTMLLocateButton->isEnabled());
    EXPECT_FALSE(editor.NarNameEdit->isEnabled());

    // The empty lines at the end go, the empty second line stays, the three names come back at the end.
    editor.NarCreateRadio->click();
    QStringList archive = defaults + QStringList{"install.txt", "updates2.dau", "ghost/master/updates2.dau"};
    archive[1] = "";
    EXPECT_EQ(lines(editor.ProcessNameMemo), archive);
    for (QWidget* w : std::initializer_list<QWidget*>{editor.ServerEdit, editor.IDEdit, editor.PasswordEdit,
                                                      editor.PassiveCheck, editor.SSLCheck, editor.UpDirEdit,
                                                      editor.HTMLEdit, editor.HTMLLocateButton})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    for (QWidget* w : std::initializer_list<QWidget*>{
             editor.NarNameEdit, editor.NarLocateButton, editor.UseDefaultFTPCheck, editor.SetDefaultButton,
             editor.ProcessNameMemo, editor.EscapeNameMemo, editor.TargetFolderEdit,
             editor.TargetFolderLocateButton})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST(CreateForm, OnlyAnExactWholeLineCountsAsPresent) {
    TCreateForm editor;
    editor.ProcessNameMemo->setPlainText("\n\na.txt\n install.txt\nupdates2.dau \nInstall.txt\n\n");
    editor.NarUpRadio->click();
    // Blank lines at both ends are trimmed away before the first name is appended.
    EXPECT_EQ(lines(editor.ProcessNameMemo),
              (QStringList{"a.txt", " install.txt", "updates2.dau ", "Install.txt", "install.txt",
                           "updates2.dau", "ghost/master/updates2.dau"}));
    editor.NetworkRadio->click();
    EXPECT_EQ(lines(editor.ProcessNameMemo),
              (QStringList{"a.txt", " install.txt", "updates2.dau ", "Install.txt", "", "", ""}));

    // An empty list gets the names alone.
    editor.ProcessNameMemo->clear();
    editor.NarCreateRadio->click();
    EXPECT_EQ(lines(editor.ProcessNameMemo),
              (QStringList{"install.txt", "updates2.dau", "ghost/master/updates2.dau"}));
}

TEST(CreateForm, ListsKeepTheLinesAsTheUserLeftThem) {
    TCreateForm editor;
    TCreateForm::SetListText(editor.EscapeNameMemo, "a\r\n\r\nb c\r\n");
    EXPECT_EQ(editor.EscapeNameMemo->toPlainText(), "a\n\nb c");
    EXPECT_EQ(TCreateForm::ListText(editor.EscapeNameMemo), "a\r\n\r\nb c\r\n");
    // A line break typed at the end makes an empty last line; a non-breaking space stays one.
    editor.EscapeNameMemo->setPlainText(u("x\u00a0y\n"));
    EXPECT_EQ(TCreateForm::ListText(editor.EscapeNameMemo), "x\u00a0y\r\n\r\n");
    editor.EscapeNameMemo->clear();
    EXPECT_EQ(TCreateForm::ListText(editor.EscapeNameMemo), "");
}

TEST(CreateForm, KeyboardOpensInTheNameEnterIsOkEscapeDoesNothing) {
    TCreateForm editor;
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    EXPECT_EQ(QApplication::focusWidget(), editor.NameEdit);

    // Inside the lists Enter makes a new line.
    editor.ProcessNameMemo->setFocus();
    editor.ProcessNameMemo->moveCursor(QTextCursor::End);
    QTest::keyClick(editor.ProcessNameMemo, Qt::Key_Return);
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(lines(editor.ProcessNameMemo).size(), 34);

    QTest::keyClick(editor.ProcessNameMemo, Qt::Key_Escape);
    QTest::keyClick(editor.NameEdit, Qt::Key_Escape);
    EXPECT_TRUE(editor.isVisible());

    // The password shows one '*' per character and keeps what was typed.
    QTest::keyClicks(editor.PasswordEdit, "p w");
    EXPECT_EQ(editor.PasswordEdit->displayText(), "***");
    EXPECT_EQ(editor.PasswordEdit->text(), "p w");

    QTest::keyClick(editor.PasswordEdit, Qt::Key_Return);
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(editor.result(), QDialog::Accepted);

    // Closing by the title bar is Cancel.
    TCreateForm other;
    other.show();
    other.close();
    EXPECT_EQ(other.result(), QDialog::Rejected);
}

TEST(CreateForm, AnAcceleratorSharedByControlsGoesToTheFirstThatCanTakeIt) {
    TCreateForm editor;
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    editor.SSLCheck->setFocus();
    // "&N" is the name's and two kinds'; "&U" a kind's and the make-common button's.
    QTest::keyClick(&editor, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor.NameEdit);
    EXPECT_TRUE(editor.NetworkRadio->isChecked());
    QTest::keyClick(&editor, Qt::Key_U, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.NarUpRadio->isChecked(); }));
    EXPECT_FALSE(editor.MakeCommon);
    // "&F": the archive name's label while its field is enabled, the use-common check box otherwise.
    QTest::keyClick(&editor, Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor.NarNameEdit);
    editor.NetworkRadio->click();
    QTest::keyClick(&editor, Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.UseDefaultFTPCheck->isChecked(); }));
}

TEST(CreateForm, BrowseButtonsAskWithTheirTitleAndFilterAndKeepTheFieldOnCancel) {
    TCreateForm editor;
    std::vector<QString> asked;
    QString answer = "/ghosts/mine";
    editor.ChooseFolder = [&](QWidget* owner, const QString& title) {
        EXPECT_EQ(owner, &editor);
        asked.push_back(title);
        return answer;
    };
    editor.ChooseFile = [&](QWidget* owner, const QString& filter) {
        EXPECT_EQ(owner, &editor);
        asked.push_back(filter);
        return answer;
    };
    editor.TargetFolderLocateButton->click();
    EXPECT_EQ(editor.TargetFolderEdit->text(), "/ghosts/mine/");
    answer = "/ghosts/";
    editor.TargetFolderLocateButton->click();
    EXPECT_EQ(editor.TargetFolderEdit->text(), "/ghosts/");

    editor.NarUpRadio->click();
    answer = "/web/index.html";
    editor.HTMLLocateButton->click();
    answer = "/out/a%y.nar";
    editor.NarLocateButton->click();
    EXPECT_EQ(editor.HTMLEdit->text(), "/web/index.html");
    EXPECT_EQ(editor.NarNameEdit->text(), "/out/a%y.nar");

    answer.clear(); // the user cancels each
    editor.TargetFolderLocateButton->click();
    editor.HTMLLocateButton->click();
    editor.NarLocateButton->click();
    EXPECT_EQ(editor.TargetFolderEdit->text(), "/ghosts/");
    EXPECT_EQ(editor.HTMLEdit->text(), "/web/index.html");
    EXPECT_EQ(editor.NarNameEdit->text(), "/out/a%y.nar");

    ASSERT_EQ(asked.size(), 7u);
    EXPECT_EQ(asked[0], u("フォルダを選んで下さい"));
    EXPECT_EQ(asked[2], u("HTML(*.htm,*.html.*.shtml)|*.htm;*.html;*.shtml"));
    EXPECT_EQ(asked[3], u("Nanika Archive,ZIP|*.nar;*zip"));
}

TEST(CreateForm, SystemDialogsOfferTheFiltersAndTakeANewFileName) {
    TempDir dir;
    dir.mkdir("mine");
    TCreateForm editor;
    editor.show();

    bool seen = false;
    whenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->windowTitle(), u("フォルダを選んで下さい"));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        dialog->setDirectory(QString::fromStdString(dir / "mine"));
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
    });
    editor.TargetFolderLocateButton->click();
    EXPECT_TRUE(seen);
    EXPECT_EQ(editor.TargetFolderEdit->text().toStdString(), dir / "mine/");

    editor.NarCreateRadio->click();
    seen = false;
    whenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->nameFilters(), QStringList{"Nanika Archive,ZIP (*.nar *zip)"});
        dialog->setDirectory(QString::fromStdString(dir.path()));
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("new.nar");                // no such file yet
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
    });
    editor.NarLocateButton->click();
    EXPECT_TRUE(seen);
    EXPECT_EQ(editor.NarNameEdit->text().toStdString(), dir / "new.nar");

    editor.NarUpRadio->click();
    seen = false;
    whenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->nameFilters(), QStringList{"HTML(*.htm,*.html.*.shtml) (*.htm *.html *.shtml)"});
        dialog->reject();
    });
    editor.HTMLLocateButton->click();
    EXPECT_TRUE(seen);
    EXPECT_EQ(editor.HTMLEdit->text(), "");
}

TEST(CreateForm, MakeCommonButtonTicksUseCommonAndSetsTheFlag) {
    TCreateForm editor;
    editor.SetDefaultButton->click();
    EXPECT_TRUE(editor.UseDefaultFTPCheck->isChecked());
    EXPECT_TRUE(editor.MakeCommon);
}
