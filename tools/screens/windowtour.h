#pragma once

#include "common/devserver.h"
#include "common/testenv.h"
#include "net/serverconfig.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class MainDialog;

// Every window of the program brought up the way a user meets it, against the reference server.
class WindowTour
{
public:
    // A window of the tour; `owned`: a dialog made anew, to be deleted by the caller.
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
