#include "platform/windowflash.h"

#include <QApplication>
#include <QWidget>

void platformFlashWindow(QWidget* window, int count)
{
    // The window system ends the urgency hint by itself when the window is activated, so there is
    // nothing to stop here.
    if (window && count != 0)
        QApplication::alert(window, 0);
}
