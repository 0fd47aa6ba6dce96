#include "CreateForm.h"

#include "jobs/Settings.h"

#include "platform/Paths.h"
#include "platform/TextLines.h"
#include "widgets/Accelerators.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QVBoxLayout>

namespace {

const char* const DefaultIncludeList[] = {
    "delete.txt",
    "install.txt",
    "readme.*",
    "thumbnail*.*",
    "developer_options.txt",
    "ghost/master/*.txt",
    "ghost/master/*.dll",
    "ghost/master/*.exe",
    "ghost/master/*.ico",
    "ghost/master/*.dic",
    "ghost/master/*.ayc",
    "ghost/master/*.kis",
    "ghost/master/*.kaw",
    "ghost/master/*.sat",
    "ghost/master/*.png",
    "ghost/master/*.pnr",
    "ghost/master/*.jpg",
    "ghost/master/*.jpe",
    "ghost/master/*.jpeg",
    "ghost/master/saori/*.dll",
    "ghost/master/saori/*.exe",
    "ghost/master/openkeeps/*.kis",
    "ghost/master/openkeeps/plugin/*.kis",
    "ghost/master/template/*.kis",
    "ghost/master/template/another/*.kis",
    "ghost/master/system/*.dic",
    "ghost/master/system/*.txt",
    "shell/master/*.txt",
    "shell/master/*.dll",
    "shell/master/*.ico",
    "shell/master/*.png",
    "shell/master/*.pna",
    "shell/master/*.pnr",
};

const char* const DefaultExcludeList[] = {
    "ngm.dat",
    "profile.txt",
    "updates.txt",
    "ghost/master/satori_savedata.txt",
    "ghost/master/satori_savebackup.txt",
    "ghost/master/satorite.txt",
    "ghost/master/satorite.exe",
    "ghost/master/tama.exe",
    "ghost/master/nsconf.txt",
    "ghost/master/Dict-KEEPSs.txt",
    "ghost/master/Dict-Learned.txt",
    "ghost/master/misaka_vars.txt",
    "ghost/master/aya_variable.*",
    "ghost/master/aya5_variable.*",
    "ghost/master/yaya_variable.*",
    "ghost/master/kyr_shiori_log.txt",
    "ghost/master/updates.txt",
    "ghost/master/れしば.txt",
    "ghost/master/satorite.txt",
    "ghost/master/*.log",
};

// The names an archive needs in its include list, and which a network update must not upload as files.
const char* const ArchiveOnlyNames[] = {"install.txt", "updates2.dau", "ghost/master/updates2.dau"};

QString u(const char* text) {
    return QString::fromUtf8(text);
}

template <size_t N> QString joined(const char* const (&lines)[N]) {
    QStringList list;
    for (const char* line : lines)
        list << u(line);
    return list.join('\n');
}

// Every line the user made, also an empty last one; Shift+Enter's soft break counts as a line break too.
QStringList memoLines(const QPlainTextEdit* memo) {
    QStringList lines;
    const QTextDocument* doc = memo->document();
    if (doc->isEmpty())
        return lines;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        lines << block.text().split(QChar::LineSeparator);
    return lines;
}

void setMemoLines(QPlainTextEdit* memo, const QStringList& lines) {
    memo->setPlainText(lines.join('\n'));
}

// Blanks and control characters off both ends, as the platform's trimming does.
QString trimmed(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// "description|mask;mask|..." as Qt writes a filter list; the masks stay as given ("*zip" included).
QString qtFilter(const QString& filter) {
    QStringList parts = filter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + " (" + parts[i + 1].split(';').join(' ') + ")";
    return filters.join(";;");
}

// Where a browse dialog opens for a field's value: the folder it names, or the nearest one above that
// exists; for a file, that folder and the file's name. A relative value counts from the base folder.
QString browseStart(const QString& value, const QString& baseFolder, bool file) {
    if (value.isEmpty())
        return {};
    QString path = QDir::fromNativeSeparators(value);
    if (QDir::isRelativePath(path) && !baseFolder.isEmpty())
        path = QDir(QDir::fromNativeSeparators(baseFolder)).filePath(path);
    QFileInfo info(path);
    const bool named = file && !info.isDir();
    QString folder = QDir::cleanPath(named ? info.path() : path);
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            return {};
        folder = parent;
    }
    QDir dir(folder);
    return named ? dir.absoluteFilePath(info.fileName()) : dir.absolutePath();
}

QString systemFolderDialog(QWidget* owner, const QString& title, const QString& start) {
    QFileDialog dialog(owner, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!start.isEmpty())
        dialog.setDirectory(start);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

QString systemOpenDialog(QWidget* owner, const QString& filter, const QString& start) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile); // a name typed for a file still to come is fine
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(qtFilter(filter));
    if (!start.isEmpty()) {
        QFileInfo info(start);
        if (info.isDir()) {
            dialog.setDirectory(start);
        } else {
            dialog.setDirectory(info.path());
            dialog.selectFile(info.fileName());
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

} // namespace

TCreateForm::TCreateForm(QWidget* owner)
    : QDialog(owner), ChooseFolder(systemFolderDialog), ChooseFile(systemOpenDialog) {
    buildWindow();
    SharedAcceleratorsMoveFocus(this);
    NameEdit->setFocus();
}

void TCreateForm::buildWindow() {
    setWindowTitle(u("新規作成"));
    QFont font(u("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);

    // Controls are created in the order the Tab key visits them.
    auto* top = new QGridLayout;
    auto label = [](QLabel*& field, const char* caption, QWidget* parent) {
        field = new QLabel(u(caption), parent);
    };
    auto edit = [](QLineEdit*& field, const char* name, QLabel* label, QWidget* parent) {
        field = new QLineEdit(parent);
        field->setObjectName(name);
        label->setBuddy(field);
    };
    auto button = [](QPushButton*& field, const char* name, const char* caption, QWidget* parent) {
        field = new QPushButton(u(caption), parent);
        field->setObjectName(name);
    };
    auto check = [](QCheckBox*& field, const char* name, const char* caption, QWidget* parent) {
        field = new QCheckBox(u(caption), parent);
        field->setObjectName(name);
    };
    auto radio = [this](QRadioButton*& field, const char* name, const char* caption) {
        field = new QRadioButton(u(caption), this);
        field->setObjectName(name);
    };

    label(NameLabel, "名称(&N)", this);
    edit(NameEdit, "NameEdit", NameLabel, this);
    check(DefaultCheckBox, "DefaultCheckBox", "起動時にチェックする(&R)", this);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(NameEdit, 1);
    nameRow->addSpacing(8);
    nameRow->addWidget(DefaultCheckBox);
    top->addWidget(NameLabel, 0, 0);
    top->addLayout(nameRow, 0, 1, 1, 2);

    radio(NetworkRadio, "NetworkRadio", "ネットワーク更新ファイルアップロード(&N)");
    radio(NarUpRadio, "NarUpRadio", "ゴーストアーカイブ(Nar)作成/FTPアップロード(&U)");
    radio(NarCreateRadio, "NarCreateRadio", "ゴーストアーカイブ(Nar）作成(&N)");
    auto* kinds = new QVBoxLayout;
    kinds->setSpacing(2);
    kinds->setContentsMargins(0, 2, 0, 4);
    for (QRadioButton* r : {NetworkRadio, NarUpRadio, NarCreateRadio})
        kinds->addWidget(r);
    top->addLayout(kinds, 1, 1, 1, 2);

    label(TargetFolderLabel, "基準フォルダ(&T)", this);
    edit(TargetFolderEdit, "TargetFolderEdit", TargetFolderLabel, this);
    button(TargetFolderLocateButton, "TargetFolderLocateButton", "参照...", this);
    top->addWidget(TargetFolderLabel, 2, 0);
    top->addWidget(TargetFolderEdit, 2, 1);
    top->addWidget(TargetFolderLocateButton, 2, 2);

    label(UpDirLabel, "アップロード先ディレクトリ(&D)", this);
    edit(UpDirEdit, "UpDirEdit", UpDirLabel, this);
    check(HomeUrlCheckBox, "HomeUrlCheckBox", "公開後にホームURLで確認する(&K)", this);
    auto* upDirRow = new QHBoxLayout;
    upDirRow->addWidget(UpDirEdit, 1);
    upDirRow->addSpacing(8);
    upDirRow->addWidget(HomeUrlCheckBox);
    top->addWidget(UpDirLabel, 3, 0);
    top->addLayout(upDirRow, 3, 1, 1, 2);

    label(HTMLLabel, "配布ページHTMLファイル(&H)", this);
    edit(HTMLEdit, "HTMLEdit", HTMLLabel, this);
    button(HTMLLocateButton, "HTMLLocateButton", "参照...", this);
    top->addWidget(HTMLLabel, 4, 0);
    top->addWidget(HTMLEdit, 4, 1);
    top->addWidget(HTMLLocateButton, 4, 2);

    label(NarNameLabel, "nar/zipファイル名(&F)", this);
    edit(NarNameEdit, "NarNameEdit", NarNameLabel, this);
    button(NarLocateButton, "NarLocateButton", "参照...", this);
    top->addWidget(NarNameLabel, 5, 0);
    top->addWidget(NarNameEdit, 5, 1);
    top->addWidget(NarLocateButton, 5, 2);
    top->setColumnStretch(1, 1);
    top->setVerticalSpacing(4);

    GroupBox2 = new QGroupBox(u("サーバ設定"), this);
    GroupBox2->setObjectName("GroupBox2");
    auto* server = new QGridLayout(GroupBox2);
    label(ServerLabel, "サーバー(&S)", GroupBox2);
    edit(ServerEdit, "ServerEdit", ServerLabel, GroupBox2);
    label(IDLabel, "&ID", GroupBox2);
    edit(IDEdit, "IDEdit", IDLabel, GroupBox2);
    label(PasswordLabel, "パスワード(&P)", GroupBox2);
    edit(PasswordEdit, "PasswordEdit", PasswordLabel, GroupBox2);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setStyleSheet("lineedit-password-character: 42"); // one '*' per character
    check(PassiveCheck, "PassiveCheck", "パッシブモード(&V)", GroupBox2);
    check(SSLCheck, "SSLCheck", "SSL(&L)", GroupBox2);
    check(ExplicitTLSCheck, "ExplicitTLSCheck", "明示的TLS(AUTH TLS)(&E)", GroupBox2);
    check(UseDefaultFTPCheck, "UseDefaultFTPCheck", "共通設定を使う(&F)", GroupBox2);
    button(SetDefaultButton, "SetDefaultButton", "この設定を共通設定にする(&U)", GroupBox2);
    server->addWidget(ServerLabel, 0, 0);
    server->addWidget(ServerEdit, 0, 1);
    server->addWidget(IDLabel, 1, 0);
    server->addWidget(IDEdit, 1, 1);
    server->addWidget(PasswordLabel, 2, 0);
    server->addWidget(PasswordEdit, 2, 1);
    server->addWidget(PassiveCheck, 0, 3);
    server->addWidget(SSLCheck, 1, 3);
    server->addWidget(ExplicitTLSCheck, 2, 3);
    server->setColumnMinimumWidth(3, 170);
    server->addWidget(UseDefaultFTPCheck, 0, 5);
    server->addWidget(SetDefaultButton, 1, 5);
    server->setColumnMinimumWidth(2, 12);
    server->setColumnMinimumWidth(4, 4);
    server->setColumnStretch(1, 1);
    server->setVerticalSpacing(4);

    GroupBox1 = new QGroupBox(u("対象ファイル"), this);
    GroupBox1->setObjectName("GroupBox1");
    auto* files = new QGridLayout(GroupBox1);
    auto memo = [this](QPlainTextEdit*& field, const char* name, QLabel* label) {
        field = new QPlainTextEdit(GroupBox1);
        field->setObjectName(name);
        field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        field->setTabChangesFocus(true); // Tab leaves the list, Enter makes a new line
        label->setBuddy(field);
    };
    label(ProcessNameLabel, "処理ファイル名条件(&P)", GroupBox1);
    memo(ProcessNameMemo, "ProcessNameMemo", ProcessNameLabel);
    label(EscapeNameLabel, "除外ファイル名条件(&R)", GroupBox1);
    memo(EscapeNameMemo, "EscapeNameMemo", EscapeNameLabel);
    files->addWidget(ProcessNameLabel, 0, 0);
    files->addWidget(ProcessNameMemo, 1, 0);
    files->addWidget(EscapeNameLabel, 0, 1);
    files->addWidget(EscapeNameMemo, 1, 1);
    files->setRowStretch(1, 1);
    files->setVerticalSpacing(2);

    button(CancelButton, "CancelButton", "キャンセル(&C)", this);
    button(OKButton, "OKButton", "&OK", this);
    OKButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {CancelButton, OKButton}) {
        b->setMinimumWidth(90);
        buttons->addWidget(b);
    }

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(8, 8, 8, 8);
    page->setSpacing(6);
    page->addLayout(top);
    page->addWidget(GroupBox2);
    page->addWidget(GroupBox1, 1);
    page->addLayout(buttons);

    // Initial state: a network update job with the default lists.
    DefaultCheckBox->setChecked(true);
    NetworkRadio->setChecked(true);
    UpDirEdit->setText("/");
    HomeUrlCheckBox->setChecked(true);
    HTMLEdit->setEnabled(false);
    HTMLLocateButton->setEnabled(false);
    NarNameEdit->setEnabled(false);
    ProcessNameMemo->setPlainText(joined(DefaultIncludeList));
    EscapeNameMemo->setPlainText(joined(DefaultExcludeList));

    for (QRadioButton* r : {NetworkRadio, NarUpRadio, NarCreateRadio})
        connect(r, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected) // the button left runs nothing; the one selected does
                NetworkRadioClick();
        });
    connect(TargetFolderLocateButton, &QPushButton::clicked, this,
            &TCreateForm::TargetFolderLocateButtonClick);
    connect(HTMLLocateButton, &QPushButton::clicked, this, &TCreateForm::HTMLLocateButtonClick);
    connect(NarLocateButton, &QPushButton::clicked, this, &TCreateForm::NarLocateButtonClick);
    connect(SetDefaultButton, &QPushButton::clicked, this, &TCreateForm::SetDefaultButtonClick);
    connect(SSLCheck, &QCheckBox::toggled, this, &TCreateForm::SSLCheckClick);
    SSLCheckClick();
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    resize(639, 588);
}

void TCreateForm::NetworkRadioClick() {
    const bool network = NetworkRadio->isChecked();
    if (!network) {
        for (const char* name : ArchiveOnlyNames) {
            if (memoLines(ProcessNameMemo).contains(u(name)))
                continue;
            QString text = trimmed(memoLines(ProcessNameMemo).join('\n'));
            QStringList lines;
            if (!text.isEmpty())
                lines << text;
            lines << u(name);
            setMemoLines(ProcessNameMemo, lines);
        }
    }

    const bool upload = NarUpRadio->isChecked();
    const bool archiveOnly = NarCreateRadio->isChecked();
    HTMLEdit->setEnabled(upload);
    HTMLLocateButton->setEnabled(upload);
    NarNameEdit->setEnabled(!network);
    HomeUrlCheckBox->setEnabled(network);
    for (QWidget* w :
         std::initializer_list<QWidget*>{ServerEdit, IDEdit, PasswordEdit, PassiveCheck, SSLCheck, UpDirEdit})
        w->setEnabled(!archiveOnly);
    SSLCheckClick();

    if (network) {
        QStringList lines = memoLines(ProcessNameMemo);
        bool changed = false;
        for (QString& line : lines)
            for (const char* name : ArchiveOnlyNames)
                if (line == u(name)) {
                    line.clear(); // the line stays, empty
                    changed = true;
                }
        if (changed)
            setMemoLines(ProcessNameMemo, lines);
    }
}

void TCreateForm::SSLCheckClick() {
    ExplicitTLSCheck->setEnabled(SSLCheck->isEnabled() && SSLCheck->isChecked());
}

void TCreateForm::TargetFolderLocateButtonClick() {
    QString folder =
        ChooseFolder(this, u("フォルダを選んで下さい"), browseStart(TargetFolderEdit->text(), {}, false));
    if (folder.isEmpty())
        return;
    TargetFolderEdit->setText(QString::fromStdString(IncludeTrailingPathDelimiter(folder.toStdString())));
}

void TCreateForm::HTMLLocateButtonClick() {
    QString path = ChooseFile(this, u("HTML(*.htm,*.html.*.shtml)|*.htm;*.html;*.shtml"),
                              browseStart(HTMLEdit->text(), TargetFolderEdit->text(), true));
    if (!path.isEmpty())
        HTMLEdit->setText(path);
}

void TCreateForm::NarLocateButtonClick() {
    QString path = ChooseFile(this, u("Nanika Archive,ZIP|*.nar;*zip"),
                              browseStart(NarNameEdit->text(), TargetFolderEdit->text(), true));
    if (!path.isEmpty())
        NarNameEdit->setText(path);
}

void TCreateForm::SetDefaultButtonClick() {
    UseDefaultFTPCheck->setChecked(true);
    MakeCommon = true;
}

std::string TCreateForm::ListText(const QPlainTextEdit* memo) {
    std::vector<std::string> lines;
    for (const QString& line : memoLines(memo))
        lines.push_back(line.toStdString());
    return JoinLines(lines);
}

void TCreateForm::SetListText(QPlainTextEdit* memo, const std::string& text) {
    QStringList lines;
    for (const std::string& line : SplitLines(text))
        lines << QString::fromStdString(line);
    setMemoLines(memo, lines);
}

void TCreateForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept(); // the dialog closes only by its buttons or its title bar
        return;
    }
    QDialog::keyPressEvent(event);
}

TJobFormValues TCreateForm::Values() const {
    TJobFormValues v;
    v.Kind = NetworkRadio->isChecked() ? TSettings::Network
             : NarUpRadio->isChecked() ? TSettings::Upload
                                       : TSettings::NarCreate;
    v.Name = NameEdit->text().toStdString();
    v.DefaultCheck = DefaultCheckBox->isChecked();
    v.TargetFolder = TargetFolderEdit->text().toStdString();
    v.Directory = UpDirEdit->text().toStdString();
    v.HomeUrlCheck = HomeUrlCheckBox->isChecked();
    v.HTML = HTMLEdit->text().toStdString();
    v.NarName = NarNameEdit->text().toStdString();
    v.Server = ServerEdit->text().toStdString();
    v.ID = IDEdit->text().toStdString();
    v.Password = PasswordEdit->text().toStdString();
    v.Passive = PassiveCheck->isChecked();
    v.SSL = SSLCheck->isChecked();
    v.ExplicitTLS = ExplicitTLSCheck->isChecked();
    v.UseCommon = UseDefaultFTPCheck->isChecked();
    v.ProcessName = ListText(ProcessNameMemo);
    v.ExcludeName = ListText(EscapeNameMemo);
    v.MakeCommon = MakeCommon;
    return v;
}

void TCreateForm::SetValues(const TJobFormValues& v) {
    if (v.Kind == TSettings::Network)
        NetworkRadio->setChecked(true);
    else if (v.Kind == TSettings::Upload)
        NarUpRadio->setChecked(true);
    else
        NarCreateRadio->setChecked(true);
    const auto q = [](const std::string& text) { return QString::fromStdString(text); };
    NameEdit->setText(q(v.Name));
    ServerEdit->setText(q(v.Server));
    IDEdit->setText(q(v.ID));
    PasswordEdit->setText(q(v.Password));
    PassiveCheck->setChecked(v.Passive);
    SSLCheck->setChecked(v.SSL);
    ExplicitTLSCheck->setChecked(v.ExplicitTLS);
    UseDefaultFTPCheck->setChecked(v.UseCommon);
    DefaultCheckBox->setChecked(v.DefaultCheck);
    UpDirEdit->setText(q(v.Directory));
    HomeUrlCheckBox->setChecked(v.HomeUrlCheck);
    HTMLEdit->setText(q(v.HTML));
    NarNameEdit->setText(q(v.NarName));
    SetListText(ProcessNameMemo, v.ProcessName);
    SetListText(EscapeNameMemo, v.ExcludeName);
    TargetFolderEdit->setText(q(v.TargetFolder));
}
