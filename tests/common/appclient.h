#pragma once

#include "common/sqlcipherfile.h"
#include "common/testenv.h"
#include "common/xsession.h"

#include <QPoint>
#include <QProcess>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <memory>

class DevServer;

// One user's whole program on a test display, in folders of its own, driven and read only as a
// user would: xdotool's keys and mouse, windows, screen pictures and files.
class AppClient
{
public:
    // `user`: the login name the program sees; empty gives each client a name of its own.
    AppClient(const XSession& x, DevServer& server, const QString& user = QString());
    ~AppClient();

    // Settings written before the start (key as in settings.ini, e.g. "Settings/AutoLock").
    void presetSetting(const QString& key, const QVariant& value)
    {
        QSettings(settingsPath(), QSettings::IniFormat).setValue(key, value);
    }
    // Starts the program and waits for its first window (the login page); false when it does
    // not come.
    bool start();
    // Moves the main window to `left` on the screen; the chat windows opened later go beside
    // it, so that clients sharing the display keep to their own parts of it.
    bool placeAt(int left);
    // The login page's fields: the account, the password, Return.
    bool typeLogin(const QString& account, const QString& password);
    // Starts the program (placed at `left` when given), types the login and waits until the
    // server holds this device's broker connection and the database holds every room of the
    // account; the device id, empty when it did not get there.
    QString logIn(const QString& account, int left = -1);
    // Narrows the room list to `search` and opens its first row with a double click; the id of
    // the chat window whose title contains `search`, empty when none came.
    QString openRoom(const QString& search);

    QProcess& process() { return *m_process; }
    qint64 pid() const { return m_process ? m_process->processId() : 0; }
    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }
    QString mainWindow() const { return m_mainWindow; }

    // Visible windows of the program, all of them or those whose title matches the pattern.
    QStringList visibleWindows() const
    {
        return m_x.xdotool({"search", "--onlyvisible", "--pid", QString::number(pid())});
    }
    QStringList windows(const QString& titlePattern) const;
    // The first visible window of the program that is neither in `before` nor in `besides`,
    // once it is there; empty when none comes.
    QString awaitNewWindow(const QStringList& before,
                           const QStringList& besides = QStringList()) const;
    // Toasts (360 x 100, frameless), and the notices and questions shown over the main window
    // (neither the main window, a toast, the tray icon nor a chat window).
    QStringList toasts() const;
    QStringList boxes() const;
    // Opens the tray icon's menu with the right button and picks the entry `upSteps` above the
    // end of the menu with the keyboard; true once the menu has gone again.
    bool pickTrayEntry(int upSteps);

    // Activates the window, then types the text and presses the keys (space separated).
    bool typeInto(const QString& windowId, const QString& text, const QString& keys) const;
    // Keys to the window that has the focus now.
    bool keyToActive(const QString& keys) const
    {
        return xdo(QStringList{"key", "--delay", "40"} + keys.split(QLatin1Char(' ')));
    }
    // Mouse clicks at a point of a window, in its own coordinates (buttons 4 and 5 scroll).
    bool click(const QString& windowId, const QPoint& at, int button = 1, int times = 1) const;
    // The pointer moved to a point of a window, nothing pressed.
    bool pointAt(const QString& windowId, const QPoint& at) const
    {
        return xdo(
            {"mousemove", "--window", windowId, QString::number(at.x()), QString::number(at.y())});
    }

    QString dataDir() const { return m_env.path(QStringLiteral("home/.local/share/PLOVEX(Chat)")); }
    QString databasePath(const QString& account) const
    {
        return dataDir() + QStringLiteral("/veltri_") + account + QStringLiteral(".db");
    }
    SqlCipherFile store(const QString& account) const
    {
        return SqlCipherFile(databasePath(account));
    }
    QString settingsPath() const { return dataDir() + QStringLiteral("/settings.ini"); }
    QString cacheDir() const { return m_env.path(QStringLiteral("home/.cache/PLOVEX(Chat)")); }
    QString tempDir() const { return m_env.path(QStringLiteral("tmp")); }
    QString documentsDir() const { return m_env.path(QStringLiteral("home/Documents")); }
    // What the stub `xdg-open` was given, one call a line.
    QStringList opened() const;
    QVariant setting(const QString& key) const
    {
        return QSettings(settingsPath(), QSettings::IniFormat).value(key);
    }

private:
    QString trayIcon() const;
    // An xdotool command on the display; whether it succeeded.
    bool xdo(const QStringList& args) const;

    const XSession& m_x;
    DevServer& m_server;
    QString m_user;
    int m_left = -1;
    TestEnv m_env;
    std::unique_ptr<QProcess> m_process;
    QString m_mainWindow;
};
