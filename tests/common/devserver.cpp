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

bool DevServer::start(const QStringList& extraArgs)
{
    if (isRunning())
        return true;
    // Free ports, chosen by the server and announced before READY.
    m_process.start(QStringLiteral("node"),
                    QStringList{TestEnv::sourceDir() + QStringLiteral("/devserver/server.mjs"),
                                "--data", dataDir(), "--rest-port", "0", "--broker-port", "0",
                                "--control-port", "0"} +
                        extraArgs);
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

DevFault DevFault::error(const QString& path, int status, int code)
{
    DevFault f;
    f.mode = QStringLiteral("error");
    f.path = path;
    f.status = status;
    f.code = code;
    return f;
}

DevFault DevFault::body(const QString& path, const QByteArray& raw, int status,
                        const QByteArray& type)
{
    DevFault f;
    f.mode = QStringLiteral("body");
    f.path = path;
    f.raw = raw;
    f.status = status;
    f.type = type;
    return f;
}

DevFault DevFault::hang(const QString& path)
{
    DevFault f;
    f.mode = QStringLiteral("hang");
    f.path = path;
    return f;
}

DevFault DevFault::stall(const QString& path, int bytes, bool finish)
{
    DevFault f;
    f.mode = QStringLiteral("stall");
    f.path = path;
    f.bytes = bytes;
    f.finish = finish;
    return f;
}

QJsonObject DevFault::toJson() const
{
    QJsonObject o{{"mode", mode}, {"path", path}};
    if (!method.isEmpty())
        o["method"] = QString::fromLatin1(method);
    if (count > 0)
        o["count"] = count;
    if (status > 0)
        o["status"] = status;
    if (code > 0)
        o["code"] = code;
    if (emptyBody)
        o["body"] = "empty";
    if (mode == QLatin1String("body"))
        o["raw"] = QString::fromUtf8(raw);
    if (!type.isEmpty())
        o["type"] = QString::fromLatin1(type);
    if (bytes >= 0)
        o["bytes"] = bytes;
    if (mode == QLatin1String("stall"))
        o["after"] = finish ? "finish" : "close";
    return o;
}

namespace {
QJsonObject sessionKey(qint64 userId)
{
    return QJsonObject{{"userId", double(userId)}};
}

QJsonObject sessionKey(const QString& clientId)
{
    return QJsonObject{{"clientId", clientId}};
}

qint64 number(const QJsonValue& v)
{
    return qint64(v.toDouble());
}
} // namespace

bool DevServer::setRate(qint64 bytesPerSecond, const QString& path)
{
    QJsonObject body{{"bytesPerSecond", double(bytesPerSecond)}};
    if (!path.isEmpty())
        body["path"] = path;
    int status = 0;
    control("POST", QStringLiteral("/control/rate"), body, &status);
    return status == 200;
}

std::optional<QString> DevServer::setUpdate(const DevUpdate& update)
{
    QJsonObject body{{"minVersion", update.minVersion}, {"chunked", update.chunked}};
    if (update.link)
        body["link"] = *update.link;
    if (update.size >= 0)
        body["size"] = double(update.size);
    if (update.bytesPerSecond > 0)
        body["bytesPerSecond"] = double(update.bytesPerSecond);
    int status = 0;
    const QJsonValue answer = control("POST", "/control/version", body, &status);
    if (status != 200)
        return std::nullopt;
    return answer[QLatin1String("link")].toString();
}

bool DevServer::clearUpdate()
{
    int status = 0;
    control("POST", QStringLiteral("/control/version"), QJsonObject{{"minVersion", QJsonValue()}},
            &status);
    return status == 200;
}

int DevServer::rotateKeys(qint64 userId)
{
    int status = 0;
    const QJsonValue a = control("POST", "/control/session/rotate", sessionKey(userId), &status);
    return status == 200 ? a[QLatin1String("sessions")].toInt() : -1;
}

int DevServer::rotateKeys(const QString& clientId)
{
    int status = 0;
    const QJsonValue a = control("POST", "/control/session/rotate", sessionKey(clientId), &status);
    return status == 200 ? a[QLatin1String("sessions")].toInt() : -1;
}

int DevServer::dropBroker(qint64 userId)
{
    int status = 0;
    const QJsonValue a = control("POST", "/control/broker/drop", sessionKey(userId), &status);
    return status == 200 ? a[QLatin1String("dropped")].toInt() : -1;
}

int DevServer::dropBroker(const QString& clientId)
{
    int status = 0;
    const QJsonValue a = control("POST", "/control/broker/drop", sessionKey(clientId), &status);
    return status == 200 ? a[QLatin1String("dropped")].toInt() : -1;
}

bool DevServer::setSessionIdle(double seconds)
{
    int status = 0;
    control("POST", QStringLiteral("/control/session/idle"), QJsonObject{{"seconds", seconds}},
            &status);
    return status == 200;
}

QJsonArray DevServer::sessions(qint64 userId)
{
    return control("GET", QStringLiteral("/control/sessions?userId=%1").arg(userId)).toArray();
}

QVector<DevBulkRoom> DevServer::bulk(const QString& account, int rooms, int chats, bool deliver)
{
    int status = 0;
    const QJsonObject body{
        {"account", account}, {"rooms", rooms}, {"chats", chats}, {"deliver", deliver}};
    const QJsonValue answer = control("POST", "/control/bulk", body, &status);
    QVector<DevBulkRoom> out;
    if (status != 200)
        return out;
    for (const QJsonValue r : answer[QLatin1String("rooms")].toArray()) {
        DevBulkRoom room{number(r["roomId"]), r["topic"].toString(), r["roomType"].toInt(), {},
                         r["chats"].toInt(),  r["unread"].toInt()};
        for (const QJsonValue id : r["memberIds"].toArray())
            room.memberIds.append(number(id));
        out.append(room);
    }
    return out;
}

DevHistory DevServer::appendHistory(const DevHistoryRequest& request)
{
    QJsonObject body{{"roomId", double(request.roomId)},
                     {"count", request.count},
                     {"step", double(request.step)}};
    QJsonArray senders;
    for (qint64 id : request.senders)
        senders.append(double(id));
    if (!senders.isEmpty())
        body["senders"] = senders;
    QJsonArray types;
    for (int t : request.contentTypes)
        types.append(t);
    if (!types.isEmpty())
        body["contentTypes"] = types;
    if (request.startTime > 0)
        body["startTime"] = double(request.startTime);
    if (!request.text.isEmpty())
        body["text"] = request.text;
    int status = 0;
    const QJsonValue a = control("POST", "/control/history", body, &status);
    if (status != 200)
        return DevHistory();
    return DevHistory{a["added"].toInt(),
                      a["total"].toInt(),
                      a["first"]["messageId"].toString(),
                      number(a["first"]["timestamp"]),
                      a["last"]["messageId"].toString(),
                      number(a["last"]["timestamp"])};
}

QVector<DevPublished> DevServer::published(qint64 since)
{
    const QJsonArray list =
        control("GET", QStringLiteral("/control/published?n=20000&since=%1").arg(since)).toArray();
    QVector<DevPublished> out;
    for (const QJsonValue e : list) {
        out.append(DevPublished{number(e["seq"]), number(e["time"]), e["topic"].toString(),
                                e["clientId"].toString(), number(e["userId"]), e["type"].toInt(),
                                e["messageId"].toString(), number(e["senderId"]),
                                e["contentType"].toInt(), e["contents"].toString(),
                                e["dropped"].toString()});
    }
    return out;
}

qint64 DevServer::lastPublishedSeq()
{
    const QJsonArray last = control("GET", QStringLiteral("/control/published?n=1")).toArray();
    return last.isEmpty() ? 0 : number(last.last()[QLatin1String("seq")]);
}
