#pragma once

#include "common/devserver.h"
#include "common/testenv.h"
#include "logcapture.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"

#include <QWidget>
#include <QtTest>

// The outcome of one request as its caller hears it: the signal ("success", "failure",
// "uploadFailure", ...), the request code or id as text, and for a failure its code and text.
struct NetOutcome
{
    QString signal;
    QString id;
    int errCode = 0;
    QString text = {};
    bool operator==(const NetOutcome& o) const
    {
        return signal == o.signal && id == o.id && errCode == o.errCode && text == o.text;
    }
};

namespace QTest {
template <>
inline char* toString(const NetOutcome& o)
{
    return qstrdup(QStringLiteral("{signal=%1 id=%2 errCode=%3 text=\"%4\"}")
                       .arg(o.signal, o.id)
                       .arg(o.errCode)
                       .arg(o.text)
                       .toUtf8()
                       .constData());
}
} // namespace QTest
Q_DECLARE_METATYPE(NetOutcome)

// The texts of the engine's own failures, as an untranslated program shows them.
inline const QString kTimedOutText =
    QStringLiteral("The server sent nothing for too long: the request timed out");
inline const QString kUnreadableText = QStringLiteral("The server's answer could not be read");

// Everything the request engine signalled, in order, as a receiver on the GUI thread hears it.
class NetRecorder : public QObject
{
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

    explicit NetRecorder(NetServerManager* m)
    {
        using N = NetServerManager;
        listen(m, &N::onHttpSuccess, "success");
        listen(m, &N::onHttpFailure, "failure");
        listen(m, &N::onUploadSuccess, "uploadSuccess");
        listen<QString, qint64, qint64>(m, &N::onUploadProgress, "uploadProgress");
        listen(m, &N::onUploadFailure, "uploadFailure");
        listen(m, &N::onImageSuccess, "imageSuccess");
        listen(m, &N::onImageFailure, "imageFailure");
        listen(m, &N::onDownloadSuccess, "downloadSuccess");
        listen<QString, qint64, qint64>(m, &N::onDownloadProgress, "downloadProgress");
        listen(m, &N::onDownloadFailure, "downloadFailure");
    }

    QList<Event> events() const { return m_events; }
    // Events of one signal (and of one reqId or url when given).
    QList<Event> of(const QString& signal, const QString& id = QString()) const
    {
        QList<Event> out;
        std::copy_if(
            m_events.begin(), m_events.end(), std::back_inserter(out), [&](const Event& e) {
                return e.signal == signal && (id.isNull() || e.args.value(0).toString() == id);
            });
        return out;
    }
    // Every outcome (any signal but progress) so far, of one request code or id when given.
    // The code and text of a failure of a picture, which has neither, stay 0 and empty.
    QList<NetOutcome> outcomes(const QString& id = QString()) const
    {
        QList<NetOutcome> out;
        for (const Event& e : m_events) {
            const bool failure = e.signal.endsWith(QLatin1String("ailure")) &&
                                 e.signal != QLatin1String("imageFailure");
            if (!e.signal.endsWith(QLatin1String("Progress")) &&
                (id.isNull() || e.args.value(0).toString() == id))
                out << NetOutcome{e.signal, e.args.value(0).toString(), failure ? e.errCode() : 0,
                                  failure ? e.text() : QString()};
        }
        return out;
    }
    // Waits for the outcome (any signal but progress) of the reqCode (int) or id (string); its
    // signal is "timeout" when none came.
    Event answer(const QVariant& codeOrId, int timeoutMs = 30000)
    {
        for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QTest::qWait(10)) {
            for (const Event& e : qAsConst(m_events)) {
                if (!e.signal.endsWith(QLatin1String("Progress")) && e.args.value(0) == codeOrId)
                    return e;
            }
        }
        return {QStringLiteral("timeout"), {}};
    }
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
protected:
    // Points the standard paths at a private home, starts the server and signs in; says why
    // when it fails.
    bool start(bool withStore = false)
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        m_log = std::make_unique<LogCapture>(); // after the test library's own handler
        if (!m_server.start()) {
            qWarning().noquote() << m_server.errorString();
            return false;
        }
        if (withStore)
            m_db =
                std::make_unique<DBManager>(DBManager::databaseFilePath(QStringLiteral("user001")),
                                            QString::fromLatin1(DBManager::kConnection),
                                            QString::fromLatin1(DBManager::kPassword), 1);
        m_session = std::make_unique<MTData>(m_db.get());
        m_net = std::make_unique<NetServerManager>(ServerConfig::fromFile(m_server.clientIni()));
        if (m_db)
            m_net->setDbPath(m_db->dbPath());
        m_recorder = std::make_unique<NetRecorder>(m_net.get());
        return (!m_db || m_db->isOpen()) && signIn();
    }

    // A new server session of user001, written into the session object (ids, keys and a device
    // id), as the login answer would be.
    bool signIn()
    {
        const int userId = m_server.user(QStringLiteral("user001"))["userId"].toInt();
        const QJsonValue made = m_server.control(
            "POST", "/control/session",
            QJsonObject{{"userId", userId}, {"deviceModel", "PC"}, {"deviceId", "dev-user001"}});
        DBEditor editor;
        m_session->setUserId(editor, userId);
        m_session->setCustId(editor, 1);
        m_session->setMyAccount(editor, QStringLiteral("user001"));
        m_session->setAccessKey(editor, made["accessKey"].toString());
        m_session->setClientId(editor, made["clientId"].toString());
        m_session->setDeviceId(editor, QStringLiteral("dev-user001"));
        if (m_db)
            m_session->applyCommit(editor);
        return !m_session->accessKey().isEmpty();
    }

    // The identifying headers the engine sends for the session, as "name: value" in their
    // order, the empty ones left out.
    static QStringList identifyingHeaders(MTData& s, const QString& contentType)
    {
        QStringList values = {"UTF-8", "Keep-alive", "application/json", "C", "1046"};
        values << QString::number(s.userId()) << QString::number(s.custId()) << s.deviceId()
               << s.accessKey() << s.clientId() << contentType;
        QStringList headers;
        for (int i = 0; i < values.size(); ++i) {
            if (!values.at(i).isEmpty())
                headers << kHeaderNames.at(i) + QStringLiteral(": ") + values.at(i);
        }
        return headers;
    }
    // Those of them a received request carried, in the order they arrived: read from the
    // control interface's own text, which keeps the order that a parsed JSON object would lose.
    QStringList sentHeaders(qint64 seq)
    {
        const QString text = QString::fromUtf8(m_server.controlRaw(
            "GET", QStringLiteral("/control/requests?n=1000&since=%1").arg(seq - 1)));
        static const QRegularExpression pair(
            QStringLiteral(R"re("([^"]+)":"((?:[^"\\]|\\.)*)")re"));
        QStringList headers;
        // The first entry is the one asked for; its headers end at the first brace.
        const QString sent = text.section(QStringLiteral("\"headers\":{"), 1).section('}', 0, 0);
        for (auto it = pair.globalMatch(sent); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            if (kHeaderNames.contains(match.captured(1)))
                headers << match.captured(1) + QStringLiteral(": ") + match.captured(2);
        }
        return headers;
    }

    // Whether a line logged since the last clearLog() holds the text.
    bool logged(const QString& text) const { return !m_log->lines(text).isEmpty(); }
    void clearLog() { m_log->clear(); }

    // Ends an engine and delivers what it signalled: its destruction waits for every task it
    // ran, so afterwards nothing more of it can arrive. The sentinel of "nothing else came".
    static void finish(std::unique_ptr<NetServerManager>& net)
    {
        net.reset();
        QCoreApplication::sendPostedEvents();
    }

    DevServer m_server;
    std::unique_ptr<DBManager> m_db;
    std::unique_ptr<MTData> m_session;
    std::unique_ptr<NetServerManager> m_net;
    std::unique_ptr<NetRecorder> m_recorder;
    std::unique_ptr<LogCapture> m_log;

private:
    static inline const QStringList kHeaderNames = {
        "accept-charset", "connection", "accept",     "device-platform", "app-ver",     "user-id",
        "cust-id",        "device-id",  "access-key", "client-id",       "content-type"};
};
