#include "GuiPrompts.h"
#include "MainForm.h"
#include "platform/Paths.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillon");
    GuiPrompts prompts;
    SetPrompts(&prompts);
    TMainForm form(ExecutablePath());
    form.show();
    int rc = QApplication::exec();
    SetPrompts(nullptr);
    return rc;
}
