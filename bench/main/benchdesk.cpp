#include "benchdesk.h"

#include "main/maindialog.h"
#include "session/mtsession.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace BenchDesk {
namespace {
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}
} // namespace

void installQuietHandler()
{
    qInstallMessageHandler(quietHandler);
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    // The tick only wakes the loop to look again; between events the thread sleeps, leaving the
    // cores to the program's own threads (processEvents with a time limit would spin instead).
    QDeadlineTimer deadline(timeoutMs);
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(1);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

void typeLogin(MainDialog& dialog, const QString& account)
{
    dialog.findChild<QLineEdit*>(QStringLiteral("idLineEdit"))->setText(account);
    dialog.findChild<QLineEdit*>(QStringLiteral("passwordLineEdit"))->setText("Passw0rd!");
    dialog.findChild<QCheckBox*>(QStringLiteral("autoLoginCheckBox"))->setChecked(false);
    dialog.clickedLoginButton();
}

bool logIn(MainDialog& dialog, const QString& account, int timeoutMs)
{
    bool rooms = false;
    bool connected = false;
    MtSession* session = dialog.session();
    const QMetaObject::Connection a =
        QObject::connect(session, &MtSession::roomsReady, session, [&] { rooms = true; });
    const QMetaObject::Connection b = QObject::connect(session, &MtSession::messagingConnected,
                                                       session, [&] { connected = true; });
    typeLogin(dialog, account);
    const bool ok = waitFor([&] { return rooms && connected; }, timeoutMs);
    QObject::disconnect(a);
    QObject::disconnect(b);
    return ok;
}

} // namespace BenchDesk
