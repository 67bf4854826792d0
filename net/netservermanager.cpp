#include "net/netservermanager.h"

#include "net/netanswer.h"
#include "net/neterrorbody.h"
#include "net/netform.h"
#include "net/netidletimeout.h"
#include "net/netsessionheaders.h"
#include "net/netthreads.h"
#include "net/nettls.h"
#include "net/serverconfig.h"
#include "platform/socketlowdelay.h"
#include "store/mtdata.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QEventLoop>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QThreadPool>
#include <QTimer>
#include <QWaitCondition>

#include <memory>

namespace {
const int kDefaultHttpsPort = 443;
// How long a connectAhead() task waits for the others to have started on threads of their own,
// and then for its handshake; and how often it looks whether the engine is ending meanwhile.
const int kAheadWaitMs = 1000;
const int kAheadPollMs = 20;

// The failure a worker keeps instead of signalling it (a request made ahead of its caller).
thread_local NetFailure* t_captured = nullptr;

int replyCode(const QNetworkReply* reply)
{
    return reply->property("reqCode").toString().toInt();
}
} // namespace

NetServerManager::NetServerManager(const QString& host, QObject* parent)
    : QThread(parent), m_scheme(QStringLiteral("https")), m_port(kDefaultHttpsPort), m_host(host),
      m_networkManager(new QNetworkAccessManager(this)), m_threadPool(new QThreadPool(this)),
      m_sslConfiguration(NetTls::configuration(QString())),
      m_profileTel(QStringLiteral("000-0000-0000"))
{
    // Pool threads spend their time waiting for the network, up to the idle time-out each: a few
    // more threads than cores keep one slow transfer from holding up the pictures and the room
    // list behind it.
    m_threadPool->setMaxThreadCount(qMax(kMinimumWorkers, QThread::idealThreadCount()));
    lowDelayOnConnect(m_networkManager);
    m_keptManagers.setMade([this](QNetworkAccessManager* manager) { lowDelayOnConnect(manager); });
    qDebug().noquote().nospace() << "NetServerManager::NetServerManager host:" << m_host;
}

NetServerManager::NetServerManager(const ServerConfig& config, QObject* parent)
    : NetServerManager(config.host(), parent)
{
    m_port = config.restPort();
    m_sslConfiguration = NetTls::configuration(config.caFile());
}

NetServerManager::~NetServerManager()
{
    // Tasks emit this object's signals: none may still run once it is gone. Queued tasks are
    // dropped and running requests aborted rather than left to their idle time-out.
    m_threadPool->clear();
    m_inflight.abortAll();
    m_threadPool->waitForDone();
    // Its threads end now, each deleting the network access object it kept, while the list of
    // those objects is still there.
    delete m_threadPool;
    m_threadPool = nullptr;
}

void NetServerManager::lowDelayOnConnect(QNetworkAccessManager* manager)
{
    // Each new connection is encrypted before its first request goes out, and the request waits
    // for this call: the header and the body of a POST leave at once.
    connect(manager, &QNetworkAccessManager::encrypted, manager,
            [this] { platformSetLowDelayToPort(quint16(m_port)); });
}

void NetServerManager::setDbPath(const QString& path)
{
    m_dbPath = path;
}

QUrl NetServerManager::makeUrl(const QString& path) const
{
    QUrl url;
    url.setScheme(m_scheme);
    url.setHost(m_host);
    if (m_port != kDefaultHttpsPort)
        url.setPort(m_port);
    const int query = path.indexOf(QLatin1Char('?'));
    if (query < 0) {
        url.setPath(path);
    } else {
        url.setPath(path.left(query));
        url.setQuery(path.mid(query + 1));
    }
    return url;
}

void NetServerManager::stop()
{
    qDebug().noquote().nospace() << "NetServerManager::stop";
}

void NetServerManager::connectAhead(int workers)
{
    // The tasks wait for each other to have started, so that each holds a thread of its own
    // (a finished task's thread would take the next one).
    struct Start
    {
        QMutex mutex;
        QWaitCondition all;
        int started = 0;
    };
    const auto start = std::make_shared<Start>();
    for (int i = 0; i < workers; ++i) {
        startTask([this, start, workers] {
            {
                QMutexLocker lock(&start->mutex);
                if (++start->started == workers)
                    start->all.wakeAll();
                QDeadlineTimer deadline(kAheadWaitMs);
                while (start->started < workers && !deadline.hasExpired())
                    start->all.wait(&start->mutex, deadline);
            }
            connectThreadAhead();
        });
    }
}

void NetServerManager::connectThreadAhead()
{
    // The handshake hands its result to this thread, which must turn its event loop meanwhile:
    // a thread back in the pool would leave the connection half made until its next request.
    // The connection is made when its (empty) reply has finished.
    QNetworkAccessManager* manager = m_keptManagers.current();
    QEventLoop loop;
    connect(manager, &QNetworkAccessManager::finished, &loop, [&loop](QNetworkReply* reply) {
        reply->deleteLater();
        loop.quit();
    });
    QDeadlineTimer deadline(kAheadWaitMs);
    QTimer watch;
    connect(&watch, &QTimer::timeout, &loop, [this, &loop, &deadline] {
        if (deadline.hasExpired() || m_inflight.isAborting())
            loop.quit();
    });
    watch.start(kAheadPollMs);
    manager->connectToHostEncrypted(m_host, quint16(m_port), m_sslConfiguration);
    loop.exec();
}

qint64 NetServerManager::roomIdFromTopic(const QString& topic)
{
    const QStringList pieces = topic.split(QLatin1Char('/'));
    if (pieces.size() != 2 || pieces.at(0) != QLatin1String("chat"))
        return -1;
    bool ok = false;
    const qint64 id = pieces.at(1).toLongLong(&ok);
    return ok ? id : -1;
}

QNetworkRequest NetServerManager::newRequest(const QUrl& url) const
{
    QNetworkRequest request(url);
    request.setSslConfiguration(m_sslConfiguration);
    return request;
}

QNetworkReply* NetServerManager::httpRequest(QNetworkAccessManager* manager, const QUrl& url,
                                             int reqCode, const QString& method,
                                             const QUrlQuery& query)
{
    return sendRequest(manager, url, reqCode, method, query, NetSessionHeaders::capture());
}

QNetworkReply* NetServerManager::sendRequest(QNetworkAccessManager* manager, const QUrl& url,
                                             int reqCode, const QString& method,
                                             const QUrlQuery& query,
                                             const NetSessionHeaders& headers)
{
    QNetworkReply* reply = startRequest(manager, url, reqCode, method, query, headers);
    if (!reply || netOnApplicationThread())
        return reply;
    return waitForReply(reply, reqCode);
}

QNetworkReply* NetServerManager::startRequest(QNetworkAccessManager* manager, const QUrl& url,
                                              int reqCode, const QString& method,
                                              const QUrlQuery& query,
                                              const NetSessionHeaders& headers)
{
    qDebug().noquote().nospace() << "NetServerManager::httpRequest - reqUrl=" << url.toString();
    const bool withBody = method == QLatin1String("POST") || method == QLatin1String("PUT");
    if (!withBody && method != QLatin1String("GET") && method != QLatin1String("DELETE")) {
        qWarning().noquote().nospace()
            << "NetServerManager::httpRequest - unknown method=" << method;
        return nullptr;
    }
    QNetworkRequest request = newRequest(url);
    headers.apply(request,
                  withBody ? "application/x-www-form-urlencoded" : QByteArray("text/plain"));
    QNetworkReply* reply = nullptr;
    if (method == QLatin1String("GET"))
        reply = manager->get(request);
    else if (method == QLatin1String("DELETE"))
        reply = manager->deleteResource(request);
    else if (method == QLatin1String("POST"))
        reply = manager->post(request, NetForm::encode(query));
    else
        reply = manager->put(request, NetForm::encode(query));
    if (reply)
        reply->setProperty("reqCode", QString::number(reqCode));
    return reply;
}

QNetworkReply* NetServerManager::waitForReply(QNetworkReply* reply, int reqCode)
{
    qDebug().noquote().nospace() << "NetServerManager::httpRequest...2";
    waitInLoop(reply);
    qDebug().noquote().nospace() << "NetServerManager::httpRequest - error=" << reply->errorString()
                                 << ", errorCode=" << int(reply->error());
    if (reply->error() == QNetworkReply::NoError)
        return reply;
    if (NetIdleTimeout::hasTimedOut(reply)) {
        fail(reqCode, kErrorNetwork, timedOutText());
        return reply;
    }
    const QByteArray body = reply->readAll();
    if (body.isEmpty()) {
        delete reply;
        return nullptr;
    }
    emitErrorBody(reqCode, body, "NetServerManager::httpRequest");
    return reply;
}

bool NetServerManager::waitInLoop(QNetworkReply* reply)
{
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(reply, &QNetworkReply::errorOccurred, &loop, &QEventLoop::quit);
    // A certificate nobody trusts is reported first and fails the request right after; the
    // wait goes on until that failure, so the report never passes for an answer.
    connect(reply, &QNetworkReply::sslErrors, reply, [](const QList<QSslError>& errors) {
        for (const QSslError& error : errors)
            qWarning().noquote().nospace()
                << "NetServerManager - sslErrors:" << error.errorString();
    });
    NetIdleTimeout::watch(reply, m_idleTimeoutMs);
    const bool registered = m_inflight.add(reply);
    if (!registered)
        reply->abort();
    else if (!reply->isFinished())
        loop.exec();
    m_inflight.remove(reply);
    return registered;
}

bool NetServerManager::sendAsync(int reqCode, const QString& path, const QString& method,
                                 const QUrlQuery& query)
{
    QNetworkReply* reply = httpRequest(m_networkManager, makeUrl(path), reqCode, method, query);
    if (!reply) {
        emit onHttpFailure(reqCode, kErrorNetwork, QStringLiteral("reply is NULL"));
        return false;
    }
    NetIdleTimeout::watch(reply, m_idleTimeoutMs);
    connect(reply, &QNetworkReply::finished, this, &NetServerManager::onNetworkReplyFinished);
    connect(reply, &QNetworkReply::errorOccurred, this, &NetServerManager::onNetworkReplyError);
    return true;
}

void NetServerManager::onNetworkReplyFinished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    qDebug().noquote().nospace() << "NetServerManager::onNetworkReplyFinished - httpCode="
                                 << status.toInt();
    // An answer cut off after a 200 status is an error, reported by onNetworkReplyError only.
    // A 200 is read through NetAnswer: only a JSON object is a success.
    if (status.isValid() && status.toInt() == 200 && reply->error() == QNetworkReply::NoError) {
        const int reqCode = replyCode(reply);
        qDebug().noquote().nospace()
            << "NetServerManager::onNetworkReplyFinished - reqCode=" << reqCode;
        const NetAnswer answer =
            NetAnswer::read(reply->readAll(), "NetServerManager::onNetworkReplyFinished",
                            QStringLiteral("reqCode=%1").arg(reqCode));
        if (answer.isReadable())
            emit onHttpSuccess(reqCode, answer.object());
        else
            emit onHttpFailure(reqCode, kErrorUnreadable, unreadableText());
    } else if (reply->error() == QNetworkReply::NoError) {
        // Neither 200 nor an error (another 2xx, a redirect): nothing the caller can read, and
        // a caller that heard nothing would wait for good.
        qWarning().noquote().nospace()
            << "NetServerManager::onNetworkReplyFinished - reqCode=" << replyCode(reply)
            << " not answered, httpCode=" << status.toInt();
        emit onHttpFailure(replyCode(reply), kErrorUnreadable, unreadableText());
    }
    reply->deleteLater();
}

void NetServerManager::onNetworkReplyError(QNetworkReply::NetworkError error)
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    const int reqCode = replyCode(reply);
    qDebug().noquote().nospace() << "NetServerManager::onNetworkReplyError - reqCode=" << reqCode
                                 << ", error=" << int(error) << " " << reply->errorString();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    if (NetIdleTimeout::hasTimedOut(reply)) {
        emit onHttpFailure(reqCode, kErrorNetwork, timedOutText());
        return;
    }
    if (body.isEmpty()) {
        qDebug().noquote().nospace()
            << "NetServerManager::onNetworkReplyError replyData.size() is zero";
        emit onHttpFailure(reqCode, kErrorNetwork, QStringLiteral("http error code"));
        return;
    }
    emitErrorBody(reqCode, body, "NetServerManager::onNetworkReplyError");
}

NetCapturedFailure::NetCapturedFailure(NetFailure* into) : m_before(t_captured)
{
    t_captured = into;
}

NetCapturedFailure::~NetCapturedFailure()
{
    t_captured = m_before;
}

void NetServerManager::fail(int reqCode, int errCode, const QString& text)
{
    if (t_captured) {
        *t_captured = NetFailure{true, errCode, text};
        return;
    }
    emit onHttpFailure(reqCode, errCode, text);
}

void NetServerManager::emitErrorBody(int reqCode, const QByteArray& body, const char* where)
{
    const NetErrorBody error = NetErrorBody::decode(body);
    if (error.isVersionAppNotMatch()) {
        qDebug().noquote().nospace()
            << where << " - [ERROR_VERSION_APP_NOT_MATCH] update link=" << error.link();
        fail(reqCode, NetErrorBody::kVersionAppNotMatch, error.link());
        return;
    }
    qCritical().noquote().nospace() << where << " - errCode=" << error.code()
                                    << ", developerMessage=" << error.developerMessage();
    fail(reqCode, error.code(), error.message());
}

void NetServerManager::onUploadProgress(qint64 bytesSent, qint64 bytesTotal)
{
    if (auto* reply = qobject_cast<QNetworkReply*>(sender()))
        emit onUploadProgress(reply->property("reqId").toString(), bytesSent, bytesTotal);
}

void NetServerManager::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (auto* reply = qobject_cast<QNetworkReply*>(sender()))
        emit onDownloadProgress(reply->property("reqId").toString(), bytesReceived, bytesTotal);
}

QString NetServerManager::timedOutText()
{
    return tr("The server sent nothing for too long: the request timed out");
}

QString NetServerManager::unreadableText()
{
    return tr("The server's answer could not be read");
}

QString NetServerManager::ownIdText()
{
    const MTData* session = MTData::instance();
    return QString::number(session ? session->userId() : 0);
}

bool NetServerManager::startTask(std::function<void()> task)
{
    if (m_inflight.isAborting())
        return false;
    m_threadPool->start(std::move(task));
    return true;
}
