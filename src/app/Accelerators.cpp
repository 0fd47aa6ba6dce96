#include "Accelerators.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeySequence>
#include <QLabel>
#include <QShortcutEvent>
#include <QWidget>

namespace {

QKeySequence mnemonicOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return QKeySequence::mnemonic(button->text());
    if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy())
        return QKeySequence::mnemonic(label->text());
    return {};
}

bool canFocus(QWidget* widget) {
    return widget->isEnabled() && widget->isVisible();
}

// True when the control took the key.
bool activate(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (!canFocus(button))
            return false;
        button->setFocus(Qt::ShortcutFocusReason);
        button->animateClick(); // what Qt does for an accelerator of its own
        return true;
    }
    QWidget* buddy = qobject_cast<QLabel*>(widget)->buddy();
    if (!canFocus(buddy))
        return false;
    buddy->setFocus(Qt::ShortcutFocusReason);
    return true;
}

class FirstWins : public QObject {
public:
    explicit FirstWins(QWidget* window) : QObject(window), window_(window) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Shortcut)
            return false;
        auto* shortcut = static_cast<QShortcutEvent*>(event);
        if (!shortcut->isAmbiguous())
            return false;
        for (QWidget* widget : window_->findChildren<QWidget*>()) // in creation order
            if (mnemonicOf(widget) == shortcut->key() && activate(widget))
                return true;
        return true; // no control can take it: nothing happens
    }

private:
    QWidget* window_;
};

} // namespace

void FirstAcceleratorWins(QWidget* window) {
    auto* filter = new FirstWins(window);
    for (QWidget* widget : window->findChildren<QWidget*>())
        if (!mnemonicOf(widget).isEmpty())
            widget->installEventFilter(filter);
}
