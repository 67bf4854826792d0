#include "common/devserver.h"

#include "common/childprocess.h"
#include "common/testenv.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

#include <signal.h>

namespace {
const char* const kOutputFile = "server.out";
} // namespace

DevServer::DevServer()
{
    m_dataDir = m_dir.filePath(QStringLiteral("data"));
    // Written to a file rather than a pipe, so a long-running server never blocks on a full pipe
    // that nobody reads.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QString::fromLatin1(kOutputFile)),
                                    QIODevice::Append);
}

DevServer::~DevServer()
{
    stop();
}

bool DevServer::start()
{
    if (isRunning())
        return true;
    QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty())
        node = QStandardPaths::findExecutable(QStringLiteral("nodejs"));
    if (!m_dir.isValid() || node.isEmpty()) {
        m_error = QStringLiteral("no temporary folder or no node");
        return false;
    }
    // Free ports, chosen by the server and announced before READY.
    m_process.start(node,
                    {TestEnv::sourceDir() + QStringLiteral("/devserver/server.mjs"), "--data",
                     m_dataDir, "--rest-port", "0", "--broker-port", "0", "--control-port", "0"});
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("node did not start: ") + m_process.errorString();
        return false;
    }
    if (!waitForReady(60000)) {
        m_error = QStringLiteral("the server did not get ready:\n") + output();
        stop();
        return false;
    }
    return true;
}

bool DevServer::waitForReady(int timeoutMs)
{
    static const QRegularExpression ready(QStringLiteral("^READY$"),
                                          QRegularExpression::MultilineOption);
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QString text = output();
        if (ready.match(text).hasMatch()) {
            auto port = [&text](const char* name) {
                const QRegularExpression re(QStringLiteral("^%1 (\\d+)$").arg(QLatin1String(name)),
                                            QRegularExpression::MultilineOption);
                return re.match(text).captured(1).toInt();
            };
            m_restPort = port("REST");
            m_controlPort = port("CONTROL");
            return m_restPort > 0 && m_controlPort > 0;
        }
        if (!isRunning())
            return false;
        QThread::msleep(20);
    }
    return false;
}

void DevServer::stop()
{
    ChildProcess::stop(m_process);
}

bool DevServer::pause()
{
    return isRunning() && ::kill(pid_t(m_process.processId()), SIGSTOP) == 0;
}

bool DevServer::resume()
{
    return isRunning() && ::kill(pid_t(m_process.processId()), SIGCONT) == 0;
}

QString DevServer::output() const
{
    QFile f(m_dir.filePath(QString::fromLatin1(kOutputFile)));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QJsonValue DevServer::control(const QByteArray& method, const QString& path, const QJsonValue& body,
                              int* status)
{
    const QJsonDocument doc = QJsonDocument::fromJson(controlRaw(method, path, body, status));
    if (doc.isObject())
        return doc.object();
    if (doc.isArray())
        return doc.array();
    return QJsonValue();
}

QByteArray DevServer::controlRaw(const QByteArray& method, const QString& path,
                                 const QJsonValue& body, int* status)
{
    QUrl url(QStringLiteral("http://127.0.0.1:%1%2").arg(m_controlPort).arg(path));
    QNetworkRequest request(url);
    QByteArray payload;
    if (!body.isNull() && !body.isUndefined()) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        payload = body.isObject() ? QJsonDocument(body.toObject()).toJson(QJsonDocument::Compact)
                                  : QJsonDocument(body.toArray()).toJson(QJsonDocument::Compact);
    }
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.sendCustomRequest(request, method, payload);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray answer = reply->readAll();
    delete reply;
    return answer;
}

QJsonArray DevServer::requests(const QString& pathPrefix, qint64 since)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("n"), QStringLiteral("1000"));
    if (!pathPrefix.isEmpty())
        query.addQueryItem(QStringLiteral("path"), pathPrefix);
    if (since > 0)
        query.addQueryItem(QStringLiteral("since"), QString::number(since));
    return control("GET", QStringLiteral("/control/requests?") + query.toString(QUrl::FullyEncoded))
        .toArray();
}

qint64 DevServer::lastRequestSeq()
{
    const QJsonArray all = requests();
    return all.isEmpty() ? 0 : qint64(all.last().toObject().value(QLatin1String("seq")).toDouble());
}

bool DevServer::setFault(const QJsonObject& rule)
{
    int status = 0;
    control("POST", QStringLiteral("/control/fail"), rule, &status);
    return status == 200;
}

QJsonObject DevServer::user(const QString& account)
{
    return control("GET", QStringLiteral("/control/users?account=") + account).toObject();
}
