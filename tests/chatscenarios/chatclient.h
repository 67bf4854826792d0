#pragma once

#include "common/testenv.h"

#include <QImage>
#include <QProcess>
#include <QRect>

#include <memory>

class DevServer;
class XSession;

// One user's copy of the whole program on a shared display: its own home, runtime and temporary
// folders (so its own single-instance lock, settings and database) and the reference server's
// client.ini. It is driven only as a user would, with xdotool's keys and mouse, and read only
// from outside: windows, screen pictures and files.
class ChatClient
{
public:
    // `left`: where on the screen its windows go.
    ChatClient(const XSession& x, const DevServer& server, const QString& name, int left);
    ~ChatClient();

    // Starts the program and logs in through the login page; true once the room list is shown
    // and the server holds a broker connection for the account.
    bool startAndLogin(const QString& account, const QString& password, qint64 userId);
    // Narrows the room list to `search` and opens its first row with a double click; the id of
    // the chat window whose title contains `search`, empty when none came.
    QString openRoom(const QString& search);
    // Activates the window, then types the text and presses the keys (space separated).
    bool typeInto(const QString& windowId, const QString& text, const QString& keys) const;
    // Mouse clicks at a point of a window (button 4 and 5 scroll).
    bool click(const QString& windowId, const QPoint& at, int button, int times = 1) const;
    // A picture of a part of a window as the screen shows it (null when it cannot be taken).
    QImage grab(const QString& windowId, const QRect& part) const;
    // Visible windows of the program whose title matches the pattern.
    QStringList windows(const QString& titlePattern) const;
    QStringList xdotool(const QStringList& args, int* exitCode = nullptr) const;

    QString mainWindow() const { return m_mainWindow; }
    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }
    QString databasePath() const;
    // Every file under the documents folder, where downloads are saved.
    QStringList savedFiles() const;

private:
    const XSession& m_x;
    const DevServer& m_server;
    QString m_name;
    int m_left = 0;
    QString m_account;
    TestEnv m_env;
    std::unique_ptr<QProcess> m_process;
    QString m_mainWindow;
};
