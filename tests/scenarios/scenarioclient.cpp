#include "scenarios/scenarioclient.h"

#include "common/childprocess.h"
#include "common/devserver.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QThread>

namespace {
const char* const kDataFolder = "home/.local/share/PLOVEX(Chat)";
const char* const kCacheFolder = "home/.cache/PLOVEX(Chat)";
constexpr int kWaitMs = 15000;
const QSize kToastSize(360, 100);
// The tray icon is embedded into the tray at the tray's icon size.
constexpr int kTrayIconMax = 64;
// Centres of the login page's fields in the 360 x 600 main window.
const QPoint kLoginId(180, 256);
const QPoint kLoginPassword(180, 300);

template <typename Done>
bool waitFor(Done done, int msec = kWaitMs)
{
    QDeadlineTimer deadline(msec);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}
} // namespace

ScenarioClient::ScenarioClient(const XSession& x, const DevServer& server)
    : m_x(x), m_server(server)
{
    QDir().mkpath(m_env.path(QStringLiteral("bin")));
    QDir().mkpath(m_env.path(QLatin1String(kDataFolder)));
    const QString stub = m_env.path(QStringLiteral("bin/xdg-open"));
    QFile file(stub);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n")
                       .arg(m_env.path(QStringLiteral("opened.txt")))
                       .toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

ScenarioClient::~ScenarioClient()
{
    if (m_process)
        ChildProcess::stop(*m_process, 5000);
}

void ScenarioClient::presetSetting(const QString& key, const QVariant& value)
{
    QSettings settings(settingsPath(), QSettings::IniFormat);
    settings.setValue(key, value);
}

bool ScenarioClient::start()
{
    QProcessEnvironment env = m_x.environment(m_env.processEnvironment());
    env.insert(QStringLiteral("VELTRITALK_CONFIG"), m_server.clientIni());
    env.insert(QStringLiteral("PATH"), m_env.path(QStringLiteral("bin")) + QLatin1Char(':') +
                                           env.value(QStringLiteral("PATH")));
    // Desktop detection would pick a launcher other than xdg-open.
    env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    env.remove(QStringLiteral("DESKTOP_SESSION"));
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->start(qEnvironmentVariable("MT_PROGRAM"), QStringList());
    if (!m_process->waitForStarted(10000))
        return false;
    const QString title = QStringLiteral("^PLOVEX\\(Chat\\)$");
    const QString pid = QString::number(m_process->processId());
    return waitFor([&] {
        // The tray icon's window carries the same name (the icon's tool tip).
        for (const QString& id :
             m_x.xdotool({"search", "--onlyvisible", "--pid", pid, "--name", title})) {
            if (m_x.geometry(id).width() > kTrayIconMax)
                m_mainWindow = id;
        }
        return !m_mainWindow.isEmpty();
    });
}

bool ScenarioClient::typeInto(const QString& windowId, const QString& text, const QString& keys)
{
    int code = -1;
    // xdotool's own --sync waits without end when the request is lost: ask again until the
    // window manager names the window active.
    const bool active = waitFor([&] {
        m_x.xdotool({"windowraise", windowId});
        m_x.xdotool({"windowactivate", windowId}, &code);
        return waitFor([&] { return m_x.xdotool({"getactivewindow"}).value(0) == windowId; }, 500);
    });
    if (!active) {
        qWarning() << "window" << windowId
                   << "never became active; active:" << m_x.xdotool({"getactivewindow"});
        return false;
    }
    if (!text.isEmpty()) {
        m_x.xdotool({"type", "--delay", "10", text}, &code);
        if (code != 0)
            return false;
    }
    if (keys.isEmpty())
        return true;
    m_x.xdotool(QStringList{"key", "--delay", "30"} + keys.split(QLatin1Char(' ')), &code);
    return code == 0;
}

bool ScenarioClient::keyToActive(const QString& keys)
{
    int code = -1;
    m_x.xdotool(QStringList{"key", "--delay", "30"} + keys.split(QLatin1Char(' ')), &code);
    return code == 0;
}

bool ScenarioClient::click(const QString& windowId, int x, int y)
{
    int code = -1;
    m_x.xdotool(
        {"mousemove", "--window", windowId, QString::number(x), QString::number(y), "click", "1"},
        &code);
    return code == 0;
}

bool ScenarioClient::typeLogin(const QString& account, const QString& password)
{
    // Clicked rather than tabbed: where the focus starts depends on when the window was
    // activated.
    return typeInto(m_mainWindow, QString(), QString()) &&
           click(m_mainWindow, kLoginId.x(), kLoginId.y()) &&
           typeInto(m_mainWindow, account, QString()) &&
           click(m_mainWindow, kLoginPassword.x(), kLoginPassword.y()) &&
           typeInto(m_mainWindow, password, QStringLiteral("Return"));
}

QStringList ScenarioClient::visibleWindows() const
{
    return m_x.xdotool({"search", "--onlyvisible", "--pid", QString::number(pid())});
}

QString ScenarioClient::trayIcon() const
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

bool ScenarioClient::pickTrayEntry(int upSteps)
{
    const QString icon = trayIcon();
    if (icon.isEmpty())
        return false;
    const QStringList before = visibleWindows();
    int code = -1;
    m_x.xdotool({"mousemove", "--window", icon, "4", "4", "click", "3"}, &code);
    QString menu;
    const bool shown = waitFor([&] {
        for (const QString& id : visibleWindows()) {
            if (!before.contains(id))
                menu = id;
        }
        return !menu.isEmpty();
    });
    if (code != 0 || !shown)
        return false;
    // With nothing chosen yet, Up starts from the menu's last entry.
    QStringList keys{"key", "--delay", "50"};
    for (int i = 0; i < upSteps; ++i)
        keys << QStringLiteral("Up");
    keys << QStringLiteral("Return");
    m_x.xdotool(keys, &code);
    return code == 0 && waitFor([&] { return !visibleWindows().contains(menu); });
}

QStringList ScenarioClient::toasts() const
{
    QStringList result;
    for (const QString& id : visibleWindows()) {
        if (m_x.geometry(id).size() == kToastSize)
            result << id;
    }
    return result;
}

QStringList ScenarioClient::boxes() const
{
    const QString icon = trayIcon();
    QStringList result;
    for (const QString& id : visibleWindows()) {
        if (id != m_mainWindow && id != icon && m_x.geometry(id).size() != kToastSize)
            result << id;
    }
    return result;
}

QString ScenarioClient::dataDir() const
{
    return m_env.path(QLatin1String(kDataFolder));
}

QString ScenarioClient::databasePath(const QString& account) const
{
    return dataDir() + QStringLiteral("/veltri_") + account + QStringLiteral(".db");
}

QString ScenarioClient::cacheDir() const
{
    return m_env.path(QLatin1String(kCacheFolder));
}

QStringList ScenarioClient::opened() const
{
    QFile file(m_env.path(QStringLiteral("opened.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QVariant ScenarioClient::setting(const QString& key) const
{
    QSettings settings(settingsPath(), QSettings::IniFormat);
    return settings.value(key);
}
