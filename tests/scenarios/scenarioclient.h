#pragma once

#include "common/testenv.h"
#include "common/xsession.h"

#include <QProcess>
#include <QSet>
#include <QVariant>

#include <memory>

class DevServer;

// One user's copy of the whole program on the scenarios' display: its own home, runtime and
// temporary folders (own single-instance lock, settings, database and device id), the reference
// server's client.ini, and an `xdg-open` on its PATH that only writes down what it was asked to
// open. Everything it offers reads what a user or an administrator could see from outside.
class ScenarioClient
{
public:
    ScenarioClient(const XSession& x, const DevServer& server);
    ~ScenarioClient();

    bool isValid() const { return m_env.isValid(); }
    // Settings written before the start (key as in settings.ini, e.g. "Settings/AutoLock").
    void presetSetting(const QString& key, const QVariant& value);
    // Starts the program and waits for its first window (the login page); false when it does
    // not come.
    bool start();
    QProcess& process() { return *m_process; }
    qint64 pid() const { return m_process ? m_process->processId() : 0; }
    QString mainWindow() const { return m_mainWindow; }

    // The login page's fields: the account, Tab, the password, Return.
    bool typeLogin(const QString& account, const QString& password);
    // Text and keys into the window that has the focus once `windowId` is activated.
    bool typeInto(const QString& windowId, const QString& text, const QString& keys);
    // Keys to the window that has the focus now.
    bool keyToActive(const QString& keys);
    // A left click at a point of a window (its own coordinates).
    bool click(const QString& windowId, int x, int y);
    // Opens the tray icon's menu with the right button and picks the entry `upSteps` above the
    // end of the menu with the keyboard; true once the menu has gone again.
    bool pickTrayEntry(int upSteps);

    // Visible windows of the process: toasts (360 x 100, frameless), the notices and questions
    // it shows over the main window (neither the main window, a toast nor the tray icon).
    QStringList toasts() const;
    QStringList boxes() const;

    QString dataDir() const;
    QString databasePath(const QString& account) const;
    QString settingsPath() const { return dataDir() + QStringLiteral("/settings.ini"); }
    QString cacheDir() const;
    QString tempDir() const { return m_env.path(QStringLiteral("tmp")); }
    // What the stub `xdg-open` was given, one call a line.
    QStringList opened() const;
    QVariant setting(const QString& key) const;

private:
    QStringList visibleWindows() const;
    QString trayIcon() const;

    const XSession& m_x;
    const DevServer& m_server;
    TestEnv m_env;
    std::unique_ptr<QProcess> m_process;
    QString m_mainWindow;
};
