#include "chatscenarios/chatclient.h"

#include "common/childprocess.h"
#include "common/devserver.h"
#include "common/xsession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

namespace {
const char* const kDataFolder = "home/.local/share/PLOVEX(Chat)";
constexpr int kWaitMs = 20000;
// In the main window (360 x 600): the search field under the title bar, the first row of the
// room list below it.
const QPoint kSearchField(120, 51);
const QPoint kFirstRow(150, 100);
// A chat window (396 wide) stays on the 1280-pixel screen.
constexpr int kChatLeftMax = 1280 - 396;

template <typename Done>
bool waitFor(Done done, int msec = kWaitMs)
{
    for (QDeadlineTimer deadline(msec); !done();) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}
} // namespace

ChatClient::ChatClient(const XSession& x, const DevServer& server, const QString& name, int left)
    : m_x(x), m_server(server), m_name(name), m_left(left)
{
    QDir().mkpath(m_env.path(QLatin1String(kDataFolder)));
}

ChatClient::~ChatClient()
{
    if (m_process)
        ChildProcess::stop(*m_process, 5000);
}

QStringList ChatClient::xdotool(const QStringList& args, int* exitCode) const
{
    QProcess p;
    p.setProcessEnvironment(m_x.environment(QProcessEnvironment::systemEnvironment()));
    p.start(QStringLiteral("xdotool"), args);
    const bool done = p.waitForFinished(10000);
    if (exitCode)
        *exitCode = done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList ChatClient::windows(const QString& titlePattern) const
{
    return xdotool({"search", "--all", "--onlyvisible", "--pid",
                    QString::number(m_process->processId()), "--name", titlePattern});
}

bool ChatClient::startAndLogin(const QString& account, const QString& password, qint64 userId)
{
    m_account = account;
    QProcessEnvironment env = m_x.environment(m_env.processEnvironment());
    env.insert(QStringLiteral("VELTRITALK_CONFIG"), m_server.clientIni());
    // The single-instance guard is per user name.
    env.insert(QStringLiteral("USER"), m_name);
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->start(qEnvironmentVariable("MT_PROGRAM"), QStringList());
    if (!m_process->waitForStarted(10000))
        return false;
    const bool shown = waitFor([&] {
        m_mainWindow = windows(QStringLiteral("^PLOVEX\\(Chat\\)$")).value(0);
        return !m_mainWindow.isEmpty();
    });
    // Each client keeps to a half of the screen, so that neither covers the other's windows.
    if (shown)
        xdotool({"windowmove", m_mainWindow, QString::number(m_left), "40"});
    if (!shown || !typeInto(m_mainWindow, account, QStringLiteral("Tab")) ||
        !typeInto(m_mainWindow, password, QStringLiteral("Return")))
        return false;
    DevServer& server = const_cast<DevServer&>(m_server);
    return waitFor([&] {
        const QJsonArray sessions = server.sessions(userId);
        return std::any_of(sessions.begin(), sessions.end(),
                           [](const QJsonValue& s) { return s["connected"].toBool(); }) &&
               QFile::exists(databasePath());
    });
}

bool ChatClient::typeInto(const QString& windowId, const QString& text, const QString& keys) const
{
    int code = -1;
    // xdotool's own --sync may wait without end when a request is lost: ask again until the
    // window manager names the window active.
    const bool active = waitFor([&] {
        xdotool({"windowactivate", windowId}, &code);
        return waitFor([&] { return xdotool({"getactivewindow"}).value(0) == windowId; }, 500);
    });
    if (!active)
        return false;
    if (!text.isEmpty()) {
        xdotool({"type", "--delay", "10", text}, &code);
        if (code != 0)
            return false;
    }
    if (keys.isEmpty())
        return true;
    xdotool(QStringList{"key", "--delay", "40"} + keys.split(QLatin1Char(' ')), &code);
    return code == 0;
}

QString ChatClient::openRoom(const QString& search)
{
    const QString pattern = QRegularExpression::escape(search);
    QString found;
    // The search field narrows the list to the one row wanted, which then lies first.
    if (!click(m_mainWindow, kSearchField, 1) ||
        !typeInto(m_mainWindow, QString(), QStringLiteral("ctrl+a BackSpace")) ||
        !typeInto(m_mainWindow, search, QString()))
        return QString();
    // The list gets its rows a moment after the login and narrows a moment after the typing.
    waitFor([&] {
        click(m_mainWindow, kFirstRow, 1, 2);
        return waitFor(
            [&] {
                found = windows(pattern).value(0);
                return !found.isEmpty();
            },
            1000);
    });
    if (!found.isEmpty())
        xdotool({"windowmove", found, QString::number(qMin(m_left + 360, kChatLeftMax)), "40"});
    return found;
}

bool ChatClient::click(const QString& windowId, const QPoint& at, int button, int times) const
{
    int code = -1;
    xdotool({"mousemove", "--window", windowId, QString::number(at.x()), QString::number(at.y()),
             "click", "--repeat", QString::number(times), "--delay", "30", QString::number(button)},
            &code);
    return code == 0;
}

QImage ChatClient::grab(const QString& windowId, const QRect& part) const
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("grab.png"));
    QProcess p;
    p.setProcessEnvironment(m_x.environment(QProcessEnvironment::systemEnvironment()));
    p.start(QStringLiteral("import"), {"-window", windowId, file});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return QImage();
    return QImage(file).copy(part);
}

QStringList ChatClient::savedFiles() const
{
    QStringList files;
    QDirIterator it(m_env.path(QStringLiteral("home/Documents")), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

QString ChatClient::databasePath() const
{
    return m_env.path(QLatin1String(kDataFolder)) + QStringLiteral("/veltri_") + m_account +
           QStringLiteral(".db");
}
