#include "common/devserver.h"

#include "common/testenv.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <memory>
#include <signal.h>

DevServer::DevServer()
{
    // Written to a file rather than a pipe, so a long-running server never blocks on a full pipe
    // that nobody reads.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("server.out")),
                                    QIODevice::Append);
}

bool DevServer::start()
{
    if (isRunning())
        return true;
    // Free ports, chosen by the server and announced before READY.
    m_process.start(QStringLiteral("node"),
                    {TestEnv::sourceDir() + QStringLiteral("/devserver/server.mjs"), "--data",
                     dataDir(), "--rest-port", "0", "--broker-port", "0", "--control-port", "0"});
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("node did not start: ") + m_process.errorString();
        return false;
    }
    static const QRegularExpression ready(
        QStringLiteral("^REST (\\d+)$.*^CONTROL (\\d+)$.*^READY$"),
        QRegularExpression::MultilineOption | QRegularExpression::DotMatchesEverythingOption);
    QRegularExpressionMatch match = ready.match(output());
    for (QDeadlineTimer deadline(60000); !match.hasMatch() && isRunning() && !deadline.hasExpired();
         match = ready.match(output()))
        QThread::msleep(20);
    m_restPort = match.captured(1).toInt();
    m_controlPort = match.captured(2).toInt();
    if (m_restPort > 0 && m_controlPort > 0)
        return true;
    m_error = QStringLiteral("the server did not get ready:\n") + output();
    stop();
    return false;
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
    QFile f(m_dir.filePath(QStringLiteral("server.out")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QJsonValue DevServer::control(const QByteArray& method, const QString& path, const QJsonValue& body,
                              int* status)
{
    const QByteArray answer = controlRaw(method, path, body, status);
    return QJsonValue::fromVariant(QJsonDocument::fromJson(answer).toVariant());
}

QByteArray DevServer::controlRaw(const QByteArray& method, const QString& path,
                                 const QJsonValue& body, int* status)
{
    QNetworkRequest request(
        QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_controlPort).arg(path)));
    QByteArray payload;
    if (body.isObject() || body.isArray()) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        payload = (body.isObject() ? QJsonDocument(body.toObject()) : QJsonDocument(body.toArray()))
                      .toJson(QJsonDocument::Compact);
    }
    QNetworkAccessManager manager;
    const std::unique_ptr<QNetworkReply> reply(manager.sendCustomRequest(request, method, payload));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply->readAll();
}

QJsonArray DevServer::requests(const QString& pathPrefix, qint64 since)
{
    const QString query = QStringLiteral("?n=1000&since=%1&path=").arg(since);
    return control("GET", "/control/requests" + query + QUrl::toPercentEncoding(pathPrefix))
        .toArray();
}

qint64 DevServer::lastRequestSeq()
{
    const QJsonArray all = requests();
    return all.isEmpty() ? 0 : qint64(all.last()[QLatin1String("seq")].toDouble());
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
