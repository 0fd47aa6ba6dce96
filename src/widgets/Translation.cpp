#include "Translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

QStringList QtTranslationFolders(const QString& programFolder) {
    return {QDir(programFolder).filePath("translations"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
}

bool LoadQtTranslation(const QStringList& folders) {
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        // qtbase_ja holds every text of the modules used here. "qt_ja" would only name it and others
        // (qtmultimedia_ja) besides, and fails to load where those are not there, as beside the program.
        if (translator->load("qtbase_ja", folder) && QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
    }
    return false;
}
