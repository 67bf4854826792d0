#include "platform/shellopen.h"

#include <QDesktopServices>
#include <QDir>
#include <QString>
#include <QUrl>
#include <windows.h>

int platformShellOpen(const QString& filePath)
{
    const QString native = QDir::toNativeSeparators(filePath);
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"open", reinterpret_cast<LPCWSTR>(native.utf16()), nullptr, nullptr,
                      SW_SHOWNORMAL);
    return int(reinterpret_cast<INT_PTR>(result));
}

bool platformOpenUrl(const QString& urlOrPath)
{
    const QUrl url = QUrl::fromUserInput(urlOrPath);
    return QDesktopServices::openUrl(url);
}
