#include "common/appclient.h"

#include "common/childprocess.h"
#include "common/devserver.h"
#include "common/wait.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {
constexpr int kWaitMs = 20000;
const QSize kToastSize(360, 100);
// The tray icon is embedded into the tray at the tray's icon size; it carries the main
// window's title (Qt names an untitled window after the application).
constexpr int kTrayIconMax = 64;
const QString kMainTitle = QStringLiteral("^PLOVEX\\(Chat\\)$");
// The main window as it opens in a fresh home (360 x 600): the login page's fields, and on the
// room list page the search field under the title bar with the first row below it.
const QPoint kLoginId(180, 256);
const QPoint kLoginPassword(180, 300);
const QPoint kSearchField(120, 51);
const QPoint kFirstRow(150, 100);
constexpr int kMainWidth = 360;
constexpr int kScreenWidth = 1280;

QString nextUserName()
{
    static QAtomicInt counter;
    return QStringLiteral("client%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}
} // namespace

AppClient::AppClient(const XSession& x, DevServer& server, const QString& user)
    : m_x(x), m_server(server), m_user(user.isEmpty() ? nextUserName() : user)
{
    QDir().mkpath(m_env.path(QStringLiteral("bin")));
    QDir().mkpath(dataDir());
    QFile stub(m_env.path(QStringLiteral("bin/xdg-open")));
    if (stub.open(QIODevice::WriteOnly)) {
        stub.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n")
                       .arg(m_env.path(QStringLiteral("opened.txt")))
                       .toUtf8());
        stub.close();
        stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

AppClient::~AppClient()
{
    if (m_process)
        ChildProcess::stop(*m_process, 5000);
}

bool AppClient::xdo(const QStringList& args) const
{
    int code = -1;
    m_x.xdotool(args, &code);
    return code == 0;
}

bool AppClient::start()
{
    QProcessEnvironment env = m_x.environment(m_env.processEnvironment());
    env.insert(QStringLiteral("VELTRITALK_CONFIG"), m_server.clientIni());
    // The single-instance guard is per user name.
    env.insert(QStringLiteral("USER"), m_user);
    env.insert(QStringLiteral("PATH"), m_env.path(QStringLiteral("bin")) + QLatin1Char(':') +
                                           env.value(QStringLiteral("PATH")));
    // Desktop detection would pick a launcher other than xdg-open.
    env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    env.remove(QStringLiteral("DESKTOP_SESSION"));
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->start(qEnvironmentVariable("MT_PROGRAM"), QStringList());
    // A restart looks for the new process's window, not the one that went with the last.
    m_mainWindow.clear();
    const auto mainWindowUp = [&] {
        for (const QString& id : windows(kMainTitle)) {
            if (m_x.geometry(id).width() > kTrayIconMax)
                m_mainWindow = id;
        }
        return !m_mainWindow.isEmpty();
    };
    return m_process->waitForStarted(10000) && waitUntil(mainWindowUp, kWaitMs);
}

bool AppClient::placeAt(int left)
{
    m_left = left;
    return xdo({"windowmove", m_mainWindow, QString::number(left), "40"});
}

bool AppClient::typeLogin(const QString& account, const QString& password)
{
    // Clicked rather than tabbed: where the focus starts depends on when the window was
    // activated.
    return typeInto(m_mainWindow, QString(), QString()) && click(m_mainWindow, kLoginId) &&
           typeInto(m_mainWindow, account, QString()) && click(m_mainWindow, kLoginPassword) &&
           typeInto(m_mainWindow, password, QStringLiteral("Return"));
}

QString AppClient::logIn(const QString& account, int left)
{
    const qint64 since = m_server.lastRequestSeq();
    if (!start() || (left >= 0 && !placeAt(left)) || !typeLogin(account, DevServer::kPassword)) {
        qWarning("%s: the program showed no window or the login could not be typed",
                 qPrintable(account));
        return QString();
    }
    const qint64 id = m_server.userId(account);
    const qint64 rooms = m_server.rooms(id).size();
    QString device;
    const bool ready = waitUntil([&] {
        device = m_server.logins(since).value(0).deviceId;
        return !device.isEmpty() && m_server.session(id, device)["connected"].toBool() &&
               store(account).number(QStringLiteral("SELECT count(*) FROM TTT_CHATT_ROOM")) >=
                   rooms;
    });
    if (!ready)
        qWarning("%s: no stored room list and broker connection in time", qPrintable(account));
    return ready ? device : QString();
}

QString AppClient::openRoom(const QString& search)
{
    const QString pattern = QRegularExpression::escape(search);
    QStringList known = visibleWindows();
    QString found;
    // The search field narrows the list to the one row wanted, which then lies first. It is
    // typed again when the double click opened some other window: after an unlock the lock page
    // stays until the rooms have come, and what was typed on it narrowed nothing.
    bool narrowed = false;
    waitUntil(
        [&] {
            narrowed = narrowed ||
                       (click(m_mainWindow, kSearchField) &&
                        typeInto(m_mainWindow, QString(), QStringLiteral("ctrl+a BackSpace")) &&
                        typeInto(m_mainWindow, search, QString()));
            // The list gets its rows a moment after the login and narrows a moment after the
            // typing.
            if (!narrowed || !click(m_mainWindow, kFirstRow, 1, 2))
                return false;
            QStringList others;
            waitUntil(
                [&] {
                    found = windows(pattern).value(0);
                    others = visibleWindows();
                    for (const QString& id : known)
                        others.removeAll(id);
                    return !found.isEmpty() || !others.isEmpty();
                },
                1000);
            known += others;
            narrowed = narrowed && (!found.isEmpty() || others.isEmpty());
            return !found.isEmpty();
        },
        kWaitMs);
    // Beside the main window, on the screen.
    const int width = m_x.geometry(found).width();
    if (!found.isEmpty() && m_left >= 0)
        xdo({"windowmove", found, QString::number(qMin(m_left + kMainWidth, kScreenWidth - width)),
             "40"});
    return found;
}

QStringList AppClient::windows(const QString& titlePattern) const
{
    // --all: windows of the process and with that title, not either.
    return m_x.xdotool({"search", "--all", "--onlyvisible", "--pid", QString::number(pid()),
                        "--name", titlePattern});
}

QString AppClient::awaitNewWindow(const QStringList& before, const QStringList& besides) const
{
    QString found;
    waitUntil(
        [&] {
            for (const QString& id : visibleWindows()) {
                if (!before.contains(id) && !besides.contains(id))
                    found = id;
            }
            return !found.isEmpty();
        },
        kWaitMs);
    return found;
}

QString AppClient::trayIcon() const
{
    for (const QString& id : m_x.xdotool({"search", "--pid", QString::number(pid())})) {
        const QRect r = m_x.geometry(id);
        // The tray lies along the top edge of the screen.
        if (r.isValid() && r.width() <= kTrayIconMax && r.height() <= kTrayIconMax &&
            r.top() < kTrayIconMax && id != m_mainWindow)
            return id;
    }
    return QString();
}

bool AppClient::pickTrayEntry(int upSteps)
{
    const QString icon = trayIcon();
    const QStringList before = visibleWindows();
    if (icon.isEmpty() || !xdo({"mousemove", "--window", icon, "4", "4", "click", "3"}))
        return false;
    const QString menu = awaitNewWindow(before);
    // With nothing chosen yet, Up starts from the menu's last entry.
    const QString keys = QStringLiteral("Up ").repeated(upSteps) + QStringLiteral("Return");
    return !menu.isEmpty() && keyToActive(keys) &&
           waitUntil([&] { return !visibleWindows().contains(menu); }, kWaitMs);
}

QStringList AppClient::toasts() const
{
    QStringList result;
    for (const QString& id : visibleWindows()) {
        if (m_x.geometry(id).size() == kToastSize)
            result << id;
    }
    return result;
}

QStringList AppClient::boxes() const
{
    const QString icon = trayIcon();
    QStringList result;
    for (const QString& id : visibleWindows()) {
        if (id != m_mainWindow && id != icon && m_x.geometry(id).size() != kToastSize)
            result << id;
    }
    return result;
}

bool AppClient::typeInto(const QString& windowId, const QString& text, const QString& keys) const
{
    // xdotool's own --sync waits without end when the request is lost: ask again until the
    // window manager names the window active.
    const bool active = waitUntil(
        [&] {
            xdo({"windowraise", windowId});
            xdo({"windowactivate", windowId});
            return waitUntil([&] { return m_x.xdotool({"getactivewindow"}).value(0) == windowId; },
                             500);
        },
        kWaitMs);
    if (!active) {
        const QString other = m_x.xdotool({"getactivewindow"}).value(0);
        qWarning() << "window" << windowId << "never became active; active:" << other
                   << m_x.xdotool({"getwindowname", other}) << m_x.geometry(other) << "of pid"
                   << m_x.xdotool({"getwindowpid", other}) << "(this client:" << pid() << ")";
        return false;
    }
    return (text.isEmpty() || xdo({"type", "--delay", "10", text})) &&
           (keys.isEmpty() || keyToActive(keys));
}

bool AppClient::click(const QString& windowId, const QPoint& at, int button, int times) const
{
    // The two clients' windows overlap on the screen, and a window the program brought forward
    // is not always raised: a click pressed there would go to the window on top. The window is
    // raised until the pointer lies on it.
    const bool onIt = waitUntil(
        [&] {
            if (pointAt(windowId, at) && m_x.underPointer(windowId))
                return true;
            xdo({"windowraise", windowId});
            return false;
        },
        kWaitMs);
    if (!onIt)
        qWarning() << "the pointer never lay on window" << windowId << "at" << at;
    return onIt && xdo({"click", "--repeat", QString::number(times), "--delay", "30",
                        QString::number(button)});
}

QStringList AppClient::opened() const
{
    QFile file(m_env.path(QStringLiteral("opened.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
