#include "platform/windowflash.h"

#include <QWidget>
#include <windows.h>

void platformFlashWindow(QWidget* window, int count)
{
    if (!window)
        return;
    FLASHWINFO info{};
    info.cbSize = sizeof(info);
    info.hwnd = reinterpret_cast<HWND>(window->winId());
    info.dwFlags = count != 0 ? (FLASHW_TRAY | FLASHW_TIMERNOFG) : FLASHW_STOP;
    info.uCount = UINT(count);
    info.dwTimeout = 0;
    FlashWindowEx(&info);
}
