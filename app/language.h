#pragma once

#include <QStringList>

class QTranslator;

// Loads the Korean translations when the system language is Korean: Qt's own catalogue, then the
// program's texts, its forms and its store texts, in that order. A file that cannot be loaded
// ends the loading, so the program runs in English from that file on.
void initLanguage();

// The same with explicit file names (four entries, empty entries skipped).
void initLanguageFiles(const QStringList& files);

// The four translators, in the order above; null where none was loaded and installed (a
// translator whose file failed to load stays allocated until deleteTranslators()).
QList<QTranslator*> installedTranslators();

// Deletes the translators once the event loop has returned.
void deleteTranslators();
