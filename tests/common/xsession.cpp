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
    m_xvfb.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", QString::number(fds[1]), "-screen", "0",
                                          "1280x1024x24", "-nolisten", "tcp"});
    ::close(fds[1]);
    QByteArray number;
    char c = 0;
    while (m_xvfb.waitForStarted(5000) && ::read(fds[0], &c, 1) == 1 && c != '\n')
        number.append(c);
    ::close(fds[0]);
    if (number.isEmpty()) {
        m_error = QStringLiteral("Xvfb gave no display number");
        return;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
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

QStringList XSession::visibleWindows(const QString& namePattern) const
{
    return xdotool({"search", "--onlyvisible", "--name", namePattern});
}

QStringList XSession::windowsOfPid(qint64 pid) const
{
    return xdotool({"search", "--pid", QString::number(pid)});
}

bool XSession::key(const QString& windowId, const QString& keys) const
{
    int code = -1;
    xdotool({"key", "--window", windowId, keys}, &code);
    return code == 0;
}

bool XSession::toolsAvailable()
{
    for (const char* tool : {"Xvfb", "xdotool", "trayer"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    }
    return true;
}
