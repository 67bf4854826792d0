#pragma once

// A login against the reference server through a real MtSession, shared by every suite that
// needs a logged-in session: the session, the chat windows it asks about, and the outcome.
#include "session/chatwindowregistry.h"
#include "session/mtsession.h"

#include <QSet>
#include <QString>

#include <memory>

class DevServer;

// The chat windows the session asks about, as the main window would answer.
class WindowsStub : public ChatWindowRegistry
{
public:
    bool isChatWindowOpen(const QString& topic) const override { return open.contains(topic); }
    bool isChatWindowActive(const QString& topic) const override { return topic == active; }
    QSet<QString> open;
    QString active;
};

// A session of `account` logged in and ready: its rooms stored and, when `waitForBroker`, its
// messaging session connected. `ok` tells whether it got there; `error` holds the refusal code.
class LoggedIn
{
public:
    // Every account of the reference server's organisation; inline, so that another file's
    // constants may be made from it.
    static inline const QString kPassword = QStringLiteral("Passw0rd!");

    LoggedIn(const DevServer& server, const QString& account = QStringLiteral("user001"),
             const QString& password = kPassword, const QString& device = QStringLiteral("test-pc"),
             bool waitForBroker = true);

    MtSession* operator->() const { return session.get(); }
    DBManager* db() const { return session->db(); }

    WindowsStub windows; // declared before the session, which keeps a pointer to it
    std::unique_ptr<MtSession> session;
    bool ok = false;
    int error = 0;
};
