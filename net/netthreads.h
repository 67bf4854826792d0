#pragma once

#include <QCoreApplication>
#include <QThread>

// True on the application object's thread (the GUI thread); false on a worker or without one.
inline bool netOnApplicationThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}
