#include "common/xsession.h"

#include "common/childprocess.h"
#include "common/wait.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QRegularExpression>

XSession::XSession(bool withTray, bool withWindowManager)
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
    if (withWindowManager) {
        // Before the tray, so that the tray's window is managed as a dock from the start.
        m_windowManager.setProcessEnvironment(
            environment(QProcessEnvironment::systemEnvironment()));
        m_windowManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_windowManager.start(QStringLiteral("openbox"), {"--sm-disable"});
        // The manager is there once the root window names its check window.
        const bool managed = waitUntil(
            [&] {
                return m_windowManager.state() == QProcess::NotRunning ||
                       property(QStringLiteral("root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK"))
                           .contains(QLatin1String("window id"));
            },
            10000);
        if (!managed || m_windowManager.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("openbox did not start");
            m_display.clear();
            return;
        }
    }
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
    waitUntil([&] { return !windowsOfPid(m_tray.processId()).isEmpty(); }, 5000);
}

XSession::~XSession()
{
    ChildProcess::stop(m_tray, 3000);
    ChildProcess::stop(m_windowManager, 3000);
    ChildProcess::stop(m_xvfb, 3000);
}

QProcessEnvironment XSession::environment(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("DISPLAY"), m_display);
    base.remove(QStringLiteral("WAYLAND_DISPLAY"));
    base.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return base;
}

std::unique_ptr<QProcess> XSession::start(const QString& program,
                                          const QProcessEnvironment& env) const
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(environment(env));
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    p->start(program, QStringList());
    return p->waitForStarted(10000) ? std::move(p) : nullptr;
}

QImage XSession::grab(const QString& windowId) const
{
    QProcess p;
    p.setProcessEnvironment(environment(QProcessEnvironment::systemEnvironment()));
    p.start(QStringLiteral("import"), {"-window", windowId, "png:-"});
    p.waitForFinished(20000);
    return QImage::fromData(p.readAllStandardOutput(), "PNG");
}

QString XSession::run(const QString& program, const QStringList& args, int* exitCode,
                      QString* errors) const
{
    QProcess p;
    p.setProcessEnvironment(environment(QProcessEnvironment::systemEnvironment()));
    p.start(program, args);
    const bool finished = p.waitForFinished(10000);
    if (exitCode)
        *exitCode = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (errors)
        *errors = QString::fromLocal8Bit(p.readAllStandardError());
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QStringList XSession::xdotool(const QStringList& args, int* exitCode) const
{
    // A search asks about each window of the tree in turn; a window that goes meanwhile (a menu,
    // a toast, a dialog closing) ends xdotool with an X error before it prints anything. Such an
    // empty list makes the windows that are there look gone, and, as the list before an action,
    // makes them look new after it: the search is made again.
    const bool search = args.value(0) == QLatin1String("search");
    QDeadlineTimer deadline(10000);
    QString out;
    QString errors;
    do
        out = run(QStringLiteral("xdotool"), args, exitCode, &errors);
    while (search && errors.contains(QLatin1String("X Error")) && !deadline.hasExpired());
    return out.split('\n', Qt::SkipEmptyParts);
}

QRect XSession::geometry(const QString& windowId) const
{
    int code = -1;
    const QStringList lines = xdotool({"getwindowgeometry", "--shell", windowId}, &code);
    QHash<QString, int> v;
    for (const QString& line : lines)
        v.insert(line.section('=', 0, 0), line.section('=', 1).toInt());
    return code != 0 || !v.contains(QStringLiteral("WIDTH"))
               ? QRect()
               : QRect(v.value("X"), v.value("Y"), v.value("WIDTH"), v.value("HEIGHT"));
}

bool XSession::underPointer(const QString& windowId) const
{
    // xdotool names the top window under the pointer, which is the window manager's frame
    // around a managed window: the frame's tree holds the window.
    const QStringList location = xdotool({"getmouselocation", "--shell"});
    const QString top = location.filter(QRegularExpression(QStringLiteral("^WINDOW=")))
                            .value(0)
                            .section(QLatin1Char('='), 1);
    if (top.isEmpty() || top == windowId)
        return !top.isEmpty();
    int code = -1;
    const QString tree = run(QStringLiteral("xwininfo"), {"-tree", "-id", top}, &code);
    return code == 0 && tree.contains(QStringLiteral(" 0x%1 ").arg(windowId.toULongLong(), 0, 16));
}

QString XSession::property(const QString& windowId, const QString& name) const
{
    const QStringList target = windowId == QLatin1String("root")
                                   ? QStringList{QStringLiteral("-root")}
                                   : QStringList{QStringLiteral("-id"), windowId};
    int code = -1;
    const QString out = run(QStringLiteral("xprop"), target + QStringList{name}, &code).trimmed();
    // xprop answers "<name>:  not found." or "...no such atom..." for a missing property.
    if (code != 0 || out.contains(QLatin1String("not found")) ||
        out.contains(QLatin1String("no such atom")))
        return QString();
    return out;
}

QString XSession::wmState(const QString& windowId) const
{
    // "WM_STATE(WM_STATE):\n\t\twindow state: Iconic\n\t\ticon window: 0x0"
    const QString out = property(windowId, QStringLiteral("WM_STATE"));
    const int at = out.indexOf(QLatin1String("window state: "));
    return at < 0 ? QString() : out.mid(at + 14).section('\n', 0, 0).trimmed();
}
