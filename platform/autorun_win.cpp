#include "platform/autorun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

namespace {
QString shortcutPath(const QString& appName)
{
    return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation) +
           QStringLiteral("/Startup/") + appName + QStringLiteral(".lnk");
}
} // namespace

bool platformSetAutoRun(const QString& appName, bool enabled)
{
    const QString link = shortcutPath(appName);
    QFile::remove(link);
    if (!enabled)
        return true;
    // QFile::link makes a shell shortcut (.lnk) on Windows.
    return QFile::link(QCoreApplication::applicationFilePath(), link);
}

bool platformIsAutoRun(const QString& appName)
{
    return QFile::exists(shortcutPath(appName));
}
