#include "common/xsession.h"

#include "common/childprocess.h"

#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

XSession::XSession(bool withTray)
{
    int fds[2];
    if (pipe(fds) != 0) {
        m_error = QStringLiteral("pipe failed");
        return;
    }
    // -displayfd lets the server pick a free display and tell us which.
    m_xvfb.setProgram(QStringLiteral("Xvfb"));
    m_xvfb.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]),
                         QStringLiteral("-screen"), QStringLiteral("0"),
                         QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp")});
    m_xvfb.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_xvfb.start();
    ::close(fds[1]);
    if (!m_xvfb.waitForStarted(5000)) {
        ::close(fds[0]);
        m_error = QStringLiteral("Xvfb did not start");
        return;
    }
    QByteArray number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        number.append(c);
    ::close(fds[0]);
    if (number.isEmpty()) {
        m_error = QStringLiteral("Xvfb gave no display number");
        return;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number);

    if (withTray) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        m_tray.setProcessEnvironment(env);
        m_tray.setProgram(QStringLiteral("trayer"));
        m_tray.setArguments({QStringLiteral("--edge"), QStringLiteral("top"),
                             QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                             QStringLiteral("--width"), QStringLiteral("200")});
        m_tray.start();
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
    base.remove(QStringLiteral("QT_QPA_PLATFORM"));
    base.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return base;
}

QString XSession::run(const QStringList& xdotoolArgs, int* exitCode) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), xdotoolArgs);
    p.waitForFinished(10000);
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QStringList XSession::visibleWindows(const QString& namePattern) const
{
    return run({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                namePattern})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList XSession::windowsOfPid(qint64 pid) const
{
    return run({QStringLiteral("search"), QStringLiteral("--pid"), QString::number(pid)})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool XSession::key(const QString& windowId, const QString& keys) const
{
    int code = -1;
    run({QStringLiteral("key"), QStringLiteral("--window"), windowId, keys}, &code);
    return code == 0;
}

bool XSession::toolsAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty();
}
