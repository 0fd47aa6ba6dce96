#include "GuiPrompts.h"
#include "MainForm.h"
#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "widgets/Translation.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillon");
    const std::string exePath = ExecutablePath();
    // Without it Qt's own dialogs would speak English in a Japanese program.
    LoadQtTranslation(QtTranslationFolders(QString::fromStdString(ExtractFilePath(exePath))));
    GuiPrompts prompts;
    RunContext context(&prompts);
    TMainForm form(exePath);
    form.show();
    return QApplication::exec();
}
