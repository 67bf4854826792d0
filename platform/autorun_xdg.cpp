#include "platform/autorun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QString>

namespace {
QString entryPath(const QString& appName)
{
    QString fileName = appName;
    fileName.remove(QLatin1Char('(')).remove(QLatin1Char(')')).replace(QLatin1Char(' '), '-');
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/") + fileName + QStringLiteral(".desktop");
}

// Desktop entry Exec values quote arguments with double quotes and escape these characters.
QString quoteExec(const QString& path)
{
    QString escaped;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}
} // namespace

bool platformSetAutoRun(const QString& appName, bool enabled)
{
    const QString path = entryPath(appName);
    if (!enabled)
        return !QFile::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=") + appName +
                          QStringLiteral("\nExec=") +
                          quoteExec(QCoreApplication::applicationFilePath()) +
                          QStringLiteral("\nX-GNOME-Autostart-enabled=true\n");
    file.write(entry.toUtf8());
    return file.commit();
}

bool platformIsAutoRun(const QString& appName)
{
    return QFile::exists(entryPath(appName));
}
