#pragma once

#include "common/devserver.h"
#include "common/logcapture.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/wait.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"

#include <QWidget>
#include <QtTest>

// One request's outcome as its caller hears it; `message` only for a server's refusal.
struct NetOutcome
{
    QString signal, id;
    int errCode = 0;
    QString message = {};
    MT_TYPED(NetOutcome, signal, id, errCode, message)
};
Q_DECLARE_METATYPE(NetOutcome)

// Every outcome the request engine signalled (not its progress), in order, as a receiver on the GUI
// thread hears it.
class NetRecorder : public QObject
{
public:
    struct Event
    {
        QString signal;
        QVariantList args; // the reqCode, reqId or url first
        int errCode() const { return args.value(1).toInt(); }
        QString text() const { return args.value(2).toString(); }
        QJsonObject object() const { return args.value(1).toJsonObject(); }
    };

    explicit NetRecorder(NetServerManager* m)
    {
        using N = NetServerManager;
        listen(m, &N::onHttpSuccess, "success");
        listen(m, &N::onHttpFailure, "failure");
        listen(m, &N::onUploadSuccess, "uploadSuccess");
        listen(m, &N::onUploadFailure, "uploadFailure");
        listen(m, &N::onImageSuccess, "imageSuccess");
        listen(m, &N::onImageFailure, "imageFailure");
        listen(m, &N::onDownloadSuccess, "downloadSuccess");
        listen(m, &N::onDownloadFailure, "downloadFailure");
    }

    QList<Event> events() const { return m_events; }
    QList<NetOutcome> outcomes() const
    {
        QList<NetOutcome> out;
        for (const Event& e : m_events) {
            const bool refusal = e.signal.endsWith(QLatin1String("ailure")) &&
                                 e.signal != QLatin1String("imageFailure") && e.errCode() >= 40000;
            out << NetOutcome{e.signal, e.args.value(0).toString(),
                              e.signal == QLatin1String("imageFailure") ? 0 : e.errCode(),
                              refusal ? e.text() : QString()};
        }
        return out;
    }
    // Waits for the outcome of the reqCode (int) or id (string); "timeout" when none came.
    Event answer(const QVariant& codeOrId, int timeoutMs = 30000)
    {
        const auto of = [&] {
            return std::find_if(m_events.cbegin(), m_events.cend(),
                                [&](const Event& e) { return e.args.value(0) == codeOrId; });
        };
        return waitUntil([&] { return of() != m_events.cend(); }, timeoutMs)
                   ? *of()
                   : Event{QStringLiteral("timeout"), {}};
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

// A session of user001 made through the server's control interface, so the engine runs alone.
class NetFixture : public QObject
{
protected:
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
        m_net = newEngine();
        m_recorder = std::make_unique<NetRecorder>(m_net.get());
        return (!m_db || m_db->isOpen()) && signIn();
    }

    // A new server session of user001 in the session object, as a login answer leaves it.
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

    std::unique_ptr<NetServerManager> newEngine(const QString& ini = QString(), int idleMs = 30000)
    {
        auto net = std::make_unique<NetServerManager>(
            ServerConfig::fromFile(ini.isEmpty() ? m_server.clientIni() : ini));
        net->setDbPath(m_db ? m_db->dbPath() : QString());
        net->setIdleTimeout(idleMs);
        return net;
    }

    static QStringList identity(const QJsonValue& request)
    {
        QStringList out;
        for (const char* name : {"user-id", "cust-id", "device-id", "access-key", "client-id"})
            out << request["headers"][QLatin1String(name)].toString();
        return out;
    }
    QStringList identity() const
    {
        return {QString::number(m_session->userId()), QString::number(m_session->custId()),
                m_session->deviceId(), m_session->accessKey(), m_session->clientId()};
    }

    // Its destruction waits for its tasks: the sentinel of "nothing else came".
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
};
