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
        // "qt_ja" brings the catalogues it names (qtbase_ja) along.
        if (translator->load("qt_ja", folder) && QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
    }
    return false;
}
