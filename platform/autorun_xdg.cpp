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

// An Exec value is read in three layers: the desktop-entry string escapes (a backslash is
// written twice), then the argument quoting (", `, $ and \ escaped inside double quotes), then the
// field codes (a literal % is written twice). A program path may hold any of these.
QString quoteExec(const QString& path)
{
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('%')) {
            quoted += QLatin1String("%%");
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    return quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}
} // namespace

bool platformSetAutoRun(const QString& appName, bool enabled)
{
    return platformSetAutoRun(appName, enabled, QCoreApplication::applicationFilePath());
}

bool platformSetAutoRun(const QString& appName, bool enabled, const QString& program)
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
                          QStringLiteral("\nExec=") + quoteExec(program) +
                          QStringLiteral("\nX-GNOME-Autostart-enabled=true\n");
    file.write(entry.toUtf8());
    return file.commit();
}

bool platformIsAutoRun(const QString& appName)
{
    return QFile::exists(entryPath(appName));
}
