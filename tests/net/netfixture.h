#pragma once

#include "common/devserver.h"
#include "main/mtdata.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "store/dbmanager.h"

#include <QWidget>
#include <QtTest>

#include <memory>

// Everything the request engine signalled, in order, as a receiver on the GUI thread hears it.
class NetRecorder : public QObject
{
    Q_OBJECT
public:
    struct Event
    {
        QString signal;    // "success", "failure", "uploadSuccess", ... as named by the signal
        QVariantList args; // as the signal carried them: the reqCode, reqId or url first
        int errCode() const { return args.value(1).toInt(); }               // of a failure
        QString text() const { return args.value(2).toString(); }           // of a failure
        QJsonObject object() const { return args.value(1).toJsonObject(); } // of a success
        qint64 done() const { return args.value(1).toLongLong(); }          // of progress
        qint64 total() const { return args.value(2).toLongLong(); }
    };

    explicit NetRecorder(NetServerManager* manager);

    QList<Event> events() const { return m_events; }
    // Events of one signal (and of one reqId or url when given).
    QList<Event> of(const QString& signal, const QString& id = QString()) const;
    // Waits for the outcome (any signal but progress) of the reqCode (int) or id (string); its
    // signal is "timeout" when none came.
    Event answer(const QVariant& codeOrId, int timeoutMs = 30000);
    void clear() { m_events.clear(); }

private:
    template <typename... A>
    void listen(NetServerManager* m, void (NetServerManager::*signal)(A...), const char* name)
    {
        connect(m, signal, this, [this, name](A... a) {
            m_events.append({name, {QVariant::fromValue(a)...}});
        });
    }

    QList<Event> m_events;
};

// The base of the tests against the reference server: user001 signed in, in a session object
// (on the user's store when asked for), a request engine for the server with a recorder of its
// signals, and everything logged.
class NetFixture : public QObject
{
    Q_OBJECT
protected:
    // Points the standard paths at a private home, starts the server and signs in.
    bool start(bool withStore = false);
    QString errorString() const { return m_error; }

    // A new server session of user001, written into the session object (ids, keys and a device
    // id), as the login answer would be.
    bool signIn();
    // The identifying headers the engine sends for the session, as "name: value" in their
    // order, the empty ones left out.
    static QStringList identifyingHeaders(MTData& session, const QString& contentType);
    // Those of them a received request carried, in the order they arrived.
    QStringList sentHeaders(qint64 seq);
    // A client configuration for localhost:port, trusting the server's CA or not.
    QString writeIni(int port, bool withCa = true);
    // The lines logged since the last clearLog().
    static QStringList log();
    static bool logged(const QString& text) { return !log().filter(text).isEmpty(); }
    static void clearLog();

    DevServer m_server;
    std::unique_ptr<DBManager> m_db;
    std::unique_ptr<MTData> m_session;
    std::unique_ptr<NetServerManager> m_net;
    std::unique_ptr<NetRecorder> m_recorder;

private:
    QString m_error;
};
