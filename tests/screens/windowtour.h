#pragma once

#include "common/devserver.h"
#include "common/testenv.h"
#include "net/serverconfig.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class MainDialog;

// Every window and dialog of the program, each brought up the way a user meets it: the main
// window on its login page, then logged in against the reference server (room list), locked, one
// room's chat window, and the dialogs opened from them. Shared by the pictures of the windows and
// the keyboard and screen-reader tests.
class WindowTour
{
public:
    // One window of the tour: its name ("roomlist", "settings", ...) and how to make it. The
    // main window and the chat window belong to the tour (the widget is not to be deleted);
    // dialogs are made anew and owned by the caller.
    struct Stop
    {
        QString name;
        std::function<QWidget*()> show;
        bool owned = false;
    };

    WindowTour();
    ~WindowTour();

    // Starts the server and the main window at its login page; false with errorString() set.
    bool start();
    QString errorString() const { return m_error; }

    MainDialog* mainWindow() const { return m_main.get(); }
    // The stops in the order the tour visits them.
    QList<Stop> stops();

private:
    bool login();
    bool converse();
    QWidget* chatWindow();

    TestEnv m_env;
    DevServer m_server;
    ServerConfig m_config;
    std::unique_ptr<MainDialog> m_main;
    QString m_picture;
    QString m_topic;
    QString m_error;
};
