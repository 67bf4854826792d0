#pragma once

#include "common/devserver.h"

#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVariant>

class MTData;
class NetServerManager;
class QWidget;

// Everything the request engine signalled, in order, with the thread each signal was received
// on (the receiver lives on the test's GUI thread).
class NetRecorder : public QObject
{
    Q_OBJECT
public:
    struct Event
    {
        QString signal; // "success", "failure", "uploadSuccess", ... as named below
        int code = 0;   // reqCode, or the error/HTTP code of a transfer failure
        int errCode = 0;
        QString id;   // reqId or urlFilePath
        QString text; // error text or file path
        QJsonObject object;
        qint64 done = 0;
        qint64 total = 0;
        QWidget* widget = nullptr;
        QThread* thread = nullptr;
    };

    explicit NetRecorder(NetServerManager* manager);

    QList<Event> events() const { return m_events; }
    // Events of one signal name (and one reqCode or id when given).
    QList<Event> of(const QString& signal) const;
    // Waits until an event of the signal with the code or id arrives; the first one.
    bool waitFor(const QString& signal, const QVariant& codeOrId, Event* event,
                 int timeoutMs = 30000);
    // Waits until any of the signals arrives for the code or id.
    bool waitForAny(const QStringList& signals_, const QVariant& codeOrId, Event* event,
                    int timeoutMs = 30000);
    void clear() { m_events.clear(); }

private:
    bool matches(const Event& e, const QStringList& signals_, const QVariant& codeOrId) const;
    void add(Event e);

    QList<Event> m_events;
};

// The reference server and a signed-in session for one test executable.
class NetFixture
{
public:
    // Points the standard paths at a private home and starts the server.
    bool start();
    DevServer& server() { return m_server; }
    QString errorString() const { return m_error; }

    // A new server session of the account, written into the session object (ids, keys and
    // a device id), as the login answer would be.
    bool signIn(MTData& session, const QString& account);

    // The names of the headers a request arrived with, in the order they were sent (the
    // control interface keeps them in order; parsed JSON objects would not).
    QStringList headerOrder(qint64 seq);
    // The same, only the identifying headers of the request engine.
    QStringList identifyingHeaderOrder(qint64 seq);
    // Those headers in the order the engine sends them.
    static const QStringList& identifyingHeaders();
    // The newest received request of a path prefix after a sequence number.
    QJsonObject lastRequest(const QString& pathPrefix, qint64 since);

    QString home() const;

private:
    DevServer m_server;
    QString m_error;
};

// Everything logged while it lives.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    bool contains(const QString& text) const;

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text);
    QtMessageHandler m_previous = nullptr;
};
