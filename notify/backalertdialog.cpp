#include "notify/backalertdialog.h"
#include "ui_backalertdialog.h"

#include "platform/windowflash.h"

#include <QEvent>

BackAlertDialog::BackAlertDialog(QWidget* parent) : QDialog(parent), ui(new Ui::BackAlertDialog)
{
    ui->setupUi(this);
    installEventFilter(this);
}

BackAlertDialog::~BackAlertDialog()
{
    delete ui;
}

bool BackAlertDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this) {
        switch (event->type()) {
        case QEvent::Show:
            // Until the window comes to the front: the platform call takes -1 for that, while 0
            // stops a flash.
            platformFlashWindow(this, -1);
            break;
        case QEvent::WindowActivate:
            if (m_active == 0) {
                m_active = 1;
                hide();
                emit onBackAlertActivate();
            }
            break;
        case QEvent::WindowDeactivate:
            if (m_active == 1)
                m_active = 0;
            break;
        case QEvent::Hide:
            // Dismissed while active: the window system may never report the deactivation of a
            // hidden window, and the next alert must be reported again.
            m_active = 0;
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
