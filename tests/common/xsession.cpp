#include "common/xsession.h"

#include "common/childprocess.h"

#include <QDeadlineTimer>
#include <QThread>

XSession::XSession(bool withTray)
{
    // -displayfd 1: the server picks a free display and prints its number. -noreset: without a
    // tray nothing stays connected, so each xdotool poll ending would reset the server, and a
    // program connecting during a reset fails to open the display.
    m_xvfb.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1280x1024x24",
                                          "-nolisten", "tcp", "-noreset"});
    QByteArray number;
    while (!number.endsWith('\n') && m_xvfb.waitForReadyRead(5000))
        number += m_xvfb.readAllStandardOutput();
    if (number.trimmed().isEmpty()) {
        m_error = QStringLiteral("Xvfb gave no display number");
        return;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    if (!withTray)
        return;
    m_tray.setProcessEnvironment(environment(QProcessEnvironment::systemEnvironment()));
    m_tray.start(QStringLiteral("trayer"),
                 {"--edge", "top", "--widthtype", "pixel", "--width", "200"});
    if (!m_tray.waitForStarted(5000)) {
        m_error = QStringLiteral("trayer did not start");
        m_display.clear();
        return;
    }
    // The tray is there once it owns the system tray selection; its window shows that.
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && windowsOfPid(m_tray.processId()).isEmpty())
        QThread::msleep(50);
}

XSession::~XSession()
{
    ChildProcess::stop(m_tray, 3000);
    ChildProcess::stop(m_xvfb, 3000);
}

QProcessEnvironment XSession::environment(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("DISPLAY"), m_display);
    base.remove(QStringLiteral("WAYLAND_DISPLAY"));
    base.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return base;
}

QStringList XSession::xdotool(const QStringList& args, int* exitCode) const
{
    QProcess p;
    p.setProcessEnvironment(environment(QProcessEnvironment::systemEnvironment()));
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(10000);
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

bool XSession::key(const QString& windowId, const QString& keys) const
{
    int code = -1;
    xdotool({"key", "--window", windowId, keys}, &code);
    return code == 0;
}
