#include "platform/shellopen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QString>
#include <QUrl>

int platformShellOpen(const QString& filePath)
{
    if (!QFileInfo::exists(filePath))
        return 2; // the shell's "file not found"
    return QDesktopServices::openUrl(QUrl::fromLocalFile(filePath)) ? 42 : 31;
}

bool platformOpenUrl(const QString& urlOrPath)
{
    return QDesktopServices::openUrl(QUrl::fromUserInput(urlOrPath));
}
