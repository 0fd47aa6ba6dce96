#include "editor/CreateForm.h"
#include "support/TempDir.h"
#include "widgets/Translation.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>
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

// Which of the controls whose state may depend on the kind are enabled, in this order: web page field and
// button, archive name field and button, server, ID, password, passive, SSL, upload directory, use-common,
// make-common, the two lists.
std::string enabling(const TCreateForm& e) {
    std::string result;
    for (QWidget* w : std::initializer_list<QWidget*>{
             e.HTMLEdit, e.HTMLLocateButton, e.NarNameEdit, e.NarLocateButton, e.ServerEdit, e.IDEdit,
             e.PasswordEdit, e.PassiveCheck, e.SSLCheck, e.UpDirEdit, e.UseDefaultFTPCheck,
             e.SetDefaultButton, e.ProcessNameMemo, e.EscapeNameMemo})
        result += w->isEnabled() ? '1' : '0';
    return result;
}

TEST(CreateForm, KindSwitchesEditTheIncludeListAndEnableTheKindsFields) {
    TCreateForm editor;
    EXPECT_EQ(editor.size(), QSize(639, 588));
    EXPECT_EQ(enabling(editor), "00011111111111");
    const QStringList defaults = lines(editor.ProcessNameMemo);
    ASSERT_EQ(defaults.size(), 33);
    ASSERT_EQ(defaults[1], "install.txt");
    EXPECT_EQ(lines(editor.EscapeNameMemo).size(), 20);
    editor.NetworkRadio->click(); // already selected: nothing happens
    EXPECT_EQ(lines(editor.ProcessNameMemo), defaults);

    editor.NarUpRadio->click();
    EXPECT_EQ(lines(editor.ProcessNameMemo),
              (defaults + QStringList{"updates2.dau", "ghost/master/updates2.dau"}));
    EXPECT_EQ(enabling(editor), "11111111111111");

    editor.NetworkRadio->click();
    QStringList network = defaults + QStringList{"", ""};
    network[1] = "";
    EXPECT_EQ(lines(editor.ProcessNameMemo), network);
    EXPECT_EQ(enabling(editor), "00011111111111");

    // The empty lines at the end go, the empty second line stays, the three names come back at the end.
    editor.NarCreateRadio->click();
    QStringList archive = defaults + QStringList{"install.txt", "updates2.dau", "ghost/master/updates2.dau"};
    archive[1] = "";
    EXPECT_EQ(lines(editor.ProcessNameMemo), archive);
    EXPECT_EQ(enabling(editor), "00110000001111");
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

TEST(CreateForm, ASharedAcceleratorMovesTheFocusAndAUniqueOneActs) {
    TCreateForm editor;
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    editor.SSLCheck->setFocus();
    // "&N" is the name's and two kinds': each press moves on to the next of them, none is chosen.
    QTest::keyClick(&editor, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor.NameEdit); // none after SSL: round to the first
    QTest::keyClick(&editor, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor.NetworkRadio);
    QTest::keyClick(&editor, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor.NarCreateRadio);
    QTest::qWait(300); // longer than a button's animated click
    EXPECT_TRUE(editor.NetworkRadio->isChecked());
    EXPECT_FALSE(editor.NarCreateRadio->isChecked());
    EXPECT_FALSE(editor.HTMLEdit->isEnabled());
    // "&U" is a kind's and the make-common button's: focus only.
    QTest::keyClick(&editor, Qt::Key_U, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor.SetDefaultButton);
    QTest::keyClick(&editor, Qt::Key_U, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor.NarUpRadio);
    QTest::qWait(300);
    EXPECT_FALSE(editor.NarUpRadio->isChecked());
    EXPECT_FALSE(editor.MakeCommon);
    // "&L" is SSL's alone: it acts at once; so does explicit TLS's "&E", once SSL enables it.
    QTest::keyClick(&editor, Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.SSLCheck->isChecked(); }));
    QTest::keyClick(&editor, Qt::Key_E, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.ExplicitTLSCheck->isChecked(); }));
    // "&P" is the password's and the include list's; for an archive-only job the password field is
    // disabled, so the letter is the list's alone.
    editor.NarCreateRadio->click();
    editor.NameEdit->setFocus();
    QTest::keyClick(&editor, Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor.ProcessNameMemo);
    QTest::keyClick(&editor, Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor.ProcessNameMemo);
}

TEST(CreateForm, BrowseButtonsFillTheirFieldAndTheMakeCommonButtonSetsItsFlag) {
    TCreateForm editor;
    std::vector<QString> asked;
    QString answer;
    editor.ChooseFolder = editor.ChooseFile = [&](QWidget* owner, const QString& text, const QString&) {
        EXPECT_EQ(owner, &editor);
        asked.push_back(text);
        return answer;
    };
    editor.NarUpRadio->click();
    editor.TargetFolderEdit->setText("kept");
    editor.HTMLEdit->setText("kept");
    editor.TargetFolderLocateButton->click(); // cancelled
    editor.HTMLLocateButton->click();
    EXPECT_EQ(editor.TargetFolderEdit->text() + editor.HTMLEdit->text(), "keptkept");
    answer = "/ghosts/";
    editor.TargetFolderLocateButton->click(); // a folder that ends with a separator gets no second one
    EXPECT_EQ(editor.TargetFolderEdit->text(), "/ghosts/");
    editor.HTMLLocateButton->click();
    EXPECT_EQ(editor.HTMLEdit->text(), "/ghosts/");
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[1], u("HTML(*.htm,*.html.*.shtml)|*.htm;*.html;*.shtml"));

    EXPECT_FALSE(editor.MakeCommon);
    editor.SetDefaultButton->click();
    EXPECT_TRUE(editor.UseDefaultFTPCheck->isChecked());
    EXPECT_TRUE(editor.MakeCommon);
}

TEST(CreateForm, BrowseDialogsStartAtTheFieldsFolderOrFile) {
    TempDir dir;
    dir.mkdir("base");
    dir.mkdir("base/pages");
    // In Qt's own form, which the editor hands its dialogs on every system.
    const QString base = QDir::fromNativeSeparators(QString::fromStdString(dir / "base"));
    TCreateForm editor;
    QString start = "not asked";
    editor.ChooseFolder = editor.ChooseFile = [&](QWidget*, const QString&, const QString& from) {
        start = from;
        return QString();
    };
    auto startOf = [&](QPushButton* button) {
        start = "not asked";
        button->click();
        return start;
    };
    editor.NarUpRadio->click();
    // Nothing typed: the system chooses.
    EXPECT_EQ(startOf(editor.TargetFolderLocateButton), QString());
    EXPECT_EQ(startOf(editor.HTMLLocateButton), QString());

    editor.TargetFolderEdit->setText(base + "/");
    EXPECT_EQ(startOf(editor.TargetFolderLocateButton), base);
    // A folder that is gone opens at the nearest one above that is there.
    editor.TargetFolderEdit->setText(base + "/gone/deeper/");
    EXPECT_EQ(startOf(editor.TargetFolderLocateButton), base);
    editor.TargetFolderEdit->setText(base + "/");

    // A file opens in its folder with its name, also when it does not exist yet.
    editor.HTMLEdit->setText(base + "/pages/index.html");
    EXPECT_EQ(startOf(editor.HTMLLocateButton), base + "/pages/index.html");
    // A relative name counts from the base folder.
    editor.NarNameEdit->setText("pages/%year.nar");
    EXPECT_EQ(startOf(editor.NarLocateButton), base + "/pages/%year.nar");
    editor.NarNameEdit->setText("missing/ghost.nar");
    EXPECT_EQ(startOf(editor.NarLocateButton), base + "/ghost.nar");
    // A value that names a folder opens that folder, with no name.
    editor.NarNameEdit->setText(base + "/pages");
    EXPECT_EQ(startOf(editor.NarLocateButton), base + "/pages");
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
    EXPECT_EQ(editor.TargetFolderEdit->text(),
              QDir::toNativeSeparators(QString::fromStdString(dir / "mine/")));

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
    EXPECT_EQ(editor.NarNameEdit->text(), QDir::toNativeSeparators(QString::fromStdString(dir / "new.nar")));
}

TEST(CreateForm, QtsOwnTextsAreJapaneseAndTheFileDialogOpensAtTheFieldsFile) {
    TempDir dir;
    dir.mkdir("prog/translations");
    const QString system = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#ifdef _WIN32
    // A static Qt has no texts of its own: the build puts them beside the test program, as the package does.
    const QString source = QCoreApplication::applicationDirPath() + "/translations";
#else
    const QString source = system;
#endif
    // What the package puts beside the program.
    for (const char* name : {"qt_ja.qm", "qtbase_ja.qm"})
        ASSERT_TRUE(
            QFile::copy(source + "/" + name, QString::fromStdString(dir / "prog/translations/") + name))
            << "qt6-translations-l10n is missing";
    const QString prog = QDir::fromNativeSeparators(QString::fromStdString(dir / "prog"));
    EXPECT_EQ(QtTranslationFolders(prog), (QStringList{prog + "/translations", system}));
    EXPECT_FALSE(LoadQtTranslation({QString::fromStdString(dir.path())})); // none there
    // The program's own folder alone is enough: a Windows installation has no other.
    ASSERT_TRUE(LoadQtTranslation({prog + "/translations"}));
    struct Uninstall {
        ~Uninstall() {
            for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
                QCoreApplication::removeTranslator(t);
                delete t;
            }
        }
    } uninstall;

    dir.write("ghost.nar", "");
    TCreateForm editor;
    editor.show();
    editor.NarCreateRadio->click();
    editor.NarNameEdit->setText(QString::fromStdString(dir / "ghost.nar"));
    bool seen = false;
    whenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->directory().absolutePath() + "/",
                  QDir::fromNativeSeparators(QString::fromStdString(dir.path())));
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->text(), "ghost.nar");
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        ASSERT_NE(buttons->button(QDialogButtonBox::Cancel), nullptr);
        EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), u("キャンセル"));
        EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), u("開く(&O)"));
        dialog->reject();
    });
    editor.NarLocateButton->click();
    EXPECT_TRUE(seen);
    EXPECT_EQ(editor.NarNameEdit->text().toStdString(), dir / "ghost.nar"); // cancelled: as it was
}
