#include "GuiPrompts.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

bool GuiPrompts::AskYesNo(const std::string& title, const std::string& text, Icon icon, bool defaultNo) {
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning
                    : icon == Icon::Error ? QMessageBox::Critical
                                          : QMessageBox::Information,
                    q(title), q(text), QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    // The platform's own captions, whatever translation Qt has at hand.
    box.button(QMessageBox::Yes)->setText(QString::fromUtf8("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QString::fromUtf8("いいえ(&N)"));
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::string GuiPrompts::InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& initial, bool masked) {
    bool ok = false;
    QString text = QInputDialog::getText(QApplication::activeWindow(), q(caption), q(prompt),
                                         masked ? QLineEdit::Password : QLineEdit::Normal, q(initial), &ok);
    return ok ? text.toStdString() : std::string();
}

void GuiPrompts::ErrorBox(const std::string& text) {
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), q(text));
}

bool GuiPrompts::AskRetryCancel(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), q(text),
                    QMessageBox::Retry | QMessageBox::Cancel, QApplication::activeWindow());
    box.button(QMessageBox::Retry)->setText(QString::fromUtf8("再試行(&R)"));
    box.button(QMessageBox::Cancel)->setText(QString::fromUtf8("キャンセル"));
    box.setDefaultButton(QMessageBox::Retry);
    return box.exec() == QMessageBox::Retry;
}

void GuiPrompts::ProcessMessages() {
    QApplication::processEvents();
}
