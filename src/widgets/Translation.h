#pragma once

#include <QString>
#include <QStringList>

/// Where Qt's own Japanese texts (dialog buttons, the file dialog) are looked for, first to last: the
/// "translations" folder beside the program (where a Windows installation keeps them), then Qt's.
QStringList QtTranslationFolders(const QString& programFolder);

/// Installs Qt's Japanese translation from the first folder that has it; false when none has.
bool LoadQtTranslation(const QStringList& folders);
