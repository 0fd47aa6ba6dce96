#include "LogForm.h"

#include "platform/Clock.h"

#include <QPlainTextEdit>
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
    connect(Memo1, &QPlainTextEdit::textChanged, this, &TLogForm::Memo1Change);
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
