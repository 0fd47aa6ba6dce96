#include "Accelerators.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeySequence>
#include <QLabel>
#include <QShortcutEvent>
#include <QWidget>

#include <vector>

namespace {

QKeySequence mnemonicOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return QKeySequence::mnemonic(button->text());
    if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy())
        return QKeySequence::mnemonic(label->text());
    return {};
}

// The control that gets the focus when the letter reaches `widget`: a label hands it to its buddy.
QWidget* focusTarget(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->buddy();
    return widget;
}

bool canTake(QWidget* widget) {
    QWidget* target = focusTarget(widget);
    return widget->isVisible() && target && target->isEnabled() && target->isVisible();
}

class SharedLetters : public QObject {
public:
    explicit SharedLetters(QWidget* window) : QObject(window), window_(window) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Shortcut)
            return false;
        const QKeySequence key = static_cast<QShortcutEvent*>(event)->key();
        std::vector<QWidget*> holders; // of this window only: an owned window has letters of its own
        for (QWidget* widget : window_->findChildren<QWidget*>())
            if (widget->window() == window_ && mnemonicOf(widget) == key && canTake(widget))
                holders.push_back(widget);
        if (holders.size() == 1)
            act(holders.front());
        else if (holders.size() > 1)
            focusNext(holders);
        return true;
    }

private:
    static void act(QWidget* widget) {
        QWidget* target = focusTarget(widget);
        target->setFocus(Qt::ShortcutFocusReason);
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->animateClick(); // what Qt does for a letter of its own
    }

    // The first holder after the focused control in Tab order; the first of all when none follows.
    void focusNext(const std::vector<QWidget*>& holders) {
        std::vector<QWidget*> chain;
        QWidget* w = window_;
        do {
            chain.push_back(w);
            w = w->nextInFocusChain();
        } while (w && w != window_);
        auto position = [&](QWidget* widget) -> long {
            for (size_t i = 0; i < chain.size(); ++i)
                if (chain[i] == widget)
                    return static_cast<long>(i);
            return -1;
        };
        const long focused = position(window_->focusWidget());
        QWidget* next = nullptr;
        long nextPos = 0;
        QWidget* first = nullptr;
        long firstPos = 0;
        for (QWidget* holder : holders) {
            const long pos = position(focusTarget(holder));
            if (!first || pos < firstPos) {
                first = holder;
                firstPos = pos;
            }
            if (pos > focused && (!next || pos < nextPos)) {
                next = holder;
                nextPos = pos;
            }
        }
        focusTarget(next ? next : first)->setFocus(Qt::ShortcutFocusReason);
        window_->setAttribute(Qt::WA_KeyboardFocusChange); // shows where the focus went
    }

    QWidget* window_;
};

} // namespace

void SharedAcceleratorsMoveFocus(QWidget* window) {
    auto* filter = new SharedLetters(window);
    for (QWidget* widget : window->findChildren<QWidget*>())
        if (widget->window() == window && !mnemonicOf(widget).isEmpty())
            widget->installEventFilter(filter);
}
