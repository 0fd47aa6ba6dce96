#include "LogForm.h"

#include "platform/Clock.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

QString toMemo(const std::string& crlfText) {
    QString text = QString::fromStdString(crlfText);
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text;
}

} // namespace

QString ProgressText(const RunProgress& p) {
    QString text = QString::fromStdString(p.Step);
    if (p.Total > 0)
        text += QString(" %1 / %2").arg(p.Done).arg(p.Total);
    else if (p.Done > 0)
        text += QString(" %1").arg(p.Done);
    if (p.BytesTotal > 0)
        text += QString("  (%1 / %2 KB)").arg(p.BytesDone / 1024).arg(p.BytesTotal / 1024);
    return text;
}

void ShowProgressOn(QProgressBar* bar, const RunProgress& p) {
    if (p.BytesTotal > 0) {
        bar->setRange(0, 1000);
        bar->setValue(static_cast<int>(std::min<int64_t>(1000, p.BytesDone * 1000 / p.BytesTotal)));
    } else if (p.Total > 0) {
        bar->setRange(0, static_cast<int>(std::min<int64_t>(p.Total, 1 << 30)));
        bar->setValue(static_cast<int>(std::min(p.Done, p.Total)));
    } else {
        bar->setRange(0, 0); // busy: the total is not known yet
    }
}

TLogForm::TLogForm(const std::string& programFolder, QWidget* owner)
    : QWidget(owner, Qt::Window), document_(programFolder, LocalNow()) {
    setWindowTitle(QString::fromUtf8("ログ"));
    resize(660, 455);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(Memo1);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(6, 4, 6, 6);
    ProgressLabel = new QLabel(this);
    ProgressLabel->setObjectName("ProgressLabel");
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setTextVisible(false);
    CancelButton = new QPushButton(QString::fromUtf8("中止(&A)"), this);
    CancelButton->setObjectName("CancelButton");
    row->addWidget(ProgressLabel, 1);
    row->addWidget(ProgressBar, 1);
    row->addWidget(CancelButton);
    layout->addLayout(row);
    for (QWidget* w : {static_cast<QWidget*>(ProgressLabel), static_cast<QWidget*>(ProgressBar),
                       static_cast<QWidget*>(CancelButton)})
        w->hide();
    Memo1->installEventFilter(this);
    connect(Memo1, &QPlainTextEdit::textChanged, this, &TLogForm::Memo1Change);
    connect(CancelButton, &QPushButton::clicked, this, &TLogForm::CancelButtonClick);
}

TLogForm::~TLogForm() {
    EndRun();
}

void TLogForm::BeginRun() {
    if (inRun_)
        return;
    inRun_ = true;
    ProgressLabel->clear();
    ProgressBar->setRange(0, 0);
    CancelButton->setEnabled(true);
    for (QWidget* w : {static_cast<QWidget*>(ProgressLabel), static_cast<QWidget*>(ProgressBar),
                       static_cast<QWidget*>(CancelButton)})
        w->show();
}

void TLogForm::EndRun() {
    if (!inRun_)
        return;
    inRun_ = false;
    for (QWidget* w : {static_cast<QWidget*>(ProgressLabel), static_cast<QWidget*>(ProgressBar),
                       static_cast<QWidget*>(CancelButton)})
        w->hide();
}

void TLogForm::Show(const RunProgress& p) {
    if (!CancelButton->isEnabled())
        return; // the label says that the run is stopping
    ProgressLabel->setText(ProgressText(p));
    ShowProgressOn(ProgressBar, p);
}

void TLogForm::CancelButtonClick() {
    RequestCancel();
    ShowStopping();
}

void TLogForm::ShowStopping() {
    CancelButton->setEnabled(false);
    ProgressLabel->setText(QString::fromUtf8("中止しています..."));
}

void TLogForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (VisibilityChanged)
        VisibilityChanged();
}

void TLogForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (VisibilityChanged)
        VisibilityChanged();
}

bool TLogForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Memo1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Alt with a key is a command that found no taker, not text; Ctrl+Alt is AltGr on Windows.
        const Qt::KeyboardModifiers mods = key->modifiers();
        if ((mods & Qt::AltModifier) && !(mods & Qt::ControlModifier) && !key->text().isEmpty())
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TLogForm::Add(const std::string& line) {
    adding_ = true;
    QTextCursor cursor(Memo1->document());
    cursor.movePosition(QTextCursor::End);
    QString text = toMemo(line) + "\n";
    if (!Memo1->document()->isEmpty() && !Memo1->document()->lastBlock().text().isEmpty())
        text.prepend('\n'); // the user removed the last line break

    cursor.insertText(text);
    adding_ = false;
    document_.Add(line);
    Memo1->ensureCursorVisible();
}

void TLogForm::Memo1Change() {
    if (adding_)
        return; // Add keeps the document itself
    QString text = Memo1->toPlainText();
    text.replace("\n", "\r\n");
    document_.SetText(text.toStdString());
}
