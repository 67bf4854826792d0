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
    return platformSetAutoRun(appName, enabled, QCoreApplication::applicationFilePath());
}

bool platformSetAutoRun(const QString& appName, bool enabled, const QString& program)
{
    const QString link = shortcutPath(appName);
    if (QFile::exists(link) && !QFile::remove(link))
        return false;
    if (!enabled)
        return true;
    // QFile::link makes a shell shortcut (.lnk) on Windows.
    return QFile::link(program, link);
}

bool platformIsAutoRun(const QString& appName)
{
    return QFile::exists(shortcutPath(appName));
}
