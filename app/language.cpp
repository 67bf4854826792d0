#include "app/language.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLocale>
#include <QTranslator>

#include <array>

namespace {
std::array<QTranslator*, 4> g_translators{};
std::array<bool, 4> g_installed{};
} // namespace

void initLanguage()
{
    QStringList files{QString(), QString(), QString(), QString()};
    if (QLocale().language() == QLocale::Korean) {
        files = QStringList{QStringLiteral(":/qtbase_ko.qm"), QStringLiteral(":/lang_ko.qm"),
                            QStringLiteral(":/ui_ko.qm"), QStringLiteral(":/db_ko.qm")};
    }
    qDebug().noquote().nospace() << "initLanguage"
                                 << " language:" << QLocale::languageToString(QLocale().language())
                                 << " qtbaseLangFile:" << files.at(0) << " langFile:" << files.at(1)
                                 << " uiLangFile:" << files.at(2) << " dbLangFile:" << files.at(3);
    initLanguageFiles(files);
}

void initLanguageFiles(const QStringList& files)
{
    static const char* const kFailures[4] = {
        "MainWindow::initLanguage failed to load language file:",
        "MainWindow::initLanguage failed to load language file:",
        "MainWindow::initLanguage failed to load ui language file:",
        "MainWindow::initLanguage failed to load db language file:",
    };
    for (int i = 0; i < 4 && i < files.size(); ++i) {
        const QString& file = files.at(i);
        if (file.isEmpty())
            continue;
        if (!g_translators[i])
            g_translators[i] = new QTranslator;
        if (!g_translators[i]->load(file)) {
            qWarning().noquote().nospace() << kFailures[i] << file;
            return;
        }
        g_installed[i] = QCoreApplication::installTranslator(g_translators[i]);
    }
}

QList<QTranslator*> installedTranslators()
{
    QList<QTranslator*> installed;
    for (int i = 0; i < 4; ++i)
        installed << (g_installed[i] ? g_translators[i] : nullptr);
    return installed;
}

void deleteTranslators()
{
    for (QTranslator*& translator : g_translators) {
        delete translator;
        translator = nullptr;
    }
    g_installed.fill(false);
}
