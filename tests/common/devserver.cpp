#include "common/devserver.h"

#include "common/testenv.h"
#include "common/wait.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <signal.h>

namespace {
qint64 number(const QJsonValue& v)
{
    return qint64(v.toDouble());
}

template <typename Numbers>
QJsonArray numbers(const Numbers& values)
{
    QJsonArray out;
    for (auto v : values)
        out.append(double(v));
    return out;
}

QVector<qint64> idsOf(const QJsonValue& list)
{
    QVector<qint64> out;
    for (const QJsonValue id : list.toArray())
        out.append(number(id));
    return out;
}
} // namespace

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
    // A generated organisation is made before READY: a large one takes minutes on a busy
    // machine, so the limit grows by a millisecond per person.
    const int usersAt = extraArgs.indexOf(QStringLiteral("--users"));
    const qint64 users = usersAt >= 0 ? extraArgs.value(usersAt + 1).toLongLong() : 0;
    QRegularExpressionMatch match;
    waitUntil([&] { return (match = ready.match(output())).hasMatch() || !isRunning(); },
              int(60000 + users));
    m_restPort = match.captured(1).toInt();
    m_controlPort = match.captured(2).toInt();
    if (m_restPort > 0 && m_controlPort > 0)
        return true;
    m_error = QStringLiteral("the server did not get ready:\n") + output();
    stop();
    return false;
}

bool DevServer::sendSignal(int signal)
{
    return isRunning() && ::kill(pid_t(m_process.processId()), signal) == 0;
}

QString DevServer::output() const
{
    return QString::fromUtf8(TestEnv::contents(m_dir.filePath(QStringLiteral("server.out"))));
}

QJsonValue DevServer::control(const QByteArray& method, const QString& path, const QJsonValue& body,
                              int* status)
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
    return QJsonValue::fromVariant(QJsonDocument::fromJson(reply->readAll()).toVariant());
}

std::optional<QJsonValue> DevServer::call(const QByteArray& method, const QString& path,
                                          const QJsonValue& body)
{
    int status = 0;
    const QJsonValue answer = control(method, path, body, &status);
    return status == 200 ? std::optional<QJsonValue>(answer) : std::nullopt;
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
    return all.isEmpty() ? 0 : number(all.last()[QLatin1String("seq")]);
}

QJsonObject DevFault::toJson() const
{
    QJsonObject o{{"mode", mode}, {"path", path}};
    // Only what differs from the server's defaults.
    const auto put = [&](const char* key, bool given, const QJsonValue& v) {
        if (given)
            o[QLatin1String(key)] = v;
    };
    put("method", !method.isEmpty(), QString::fromLatin1(method));
    put("count", count > 0, count);
    put("status", status > 0, status);
    put("code", code > 0, code);
    put("body", emptyBody, "empty");
    put("raw", mode == QLatin1String("body"), QString::fromUtf8(raw));
    put("type", !type.isEmpty(), QString::fromLatin1(type));
    put("bytes", bytes >= 0, bytes);
    put("after", mode == QLatin1String("stall"), finish ? "finish" : "close");
    return o;
}

bool DevServer::setRate(qint64 bytesPerSecond, const QString& path)
{
    QJsonObject body{{"bytesPerSecond", double(bytesPerSecond)}};
    if (!path.isEmpty())
        body["path"] = path;
    return bool(call("POST", QStringLiteral("/control/rate"), body));
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
    const auto answer = call("POST", "/control/version", body);
    return answer ? std::optional<QString>((*answer)["link"].toString()) : std::nullopt;
}

int DevServer::count(const char* path, const QJsonObject& key, const char* field)
{
    const auto a = call("POST", QString::fromLatin1(path), key);
    return a ? (*a)[QLatin1String(field)].toInt() : -1;
}

QVector<DevRoom> DevServer::bulk(const QString& account, int rooms, int chats, bool deliver)
{
    const auto answer =
        call("POST", "/control/bulk",
             QJsonObject{
                 {"account", account}, {"rooms", rooms}, {"chats", chats}, {"deliver", deliver}});
    QVector<DevRoom> out;
    for (const QJsonValue r : answer.value_or(QJsonValue())["rooms"].toArray())
        out.append(DevRoom{number(r["roomId"]), r["topic"].toString(), r["roomType"].toInt(),
                           idsOf(r["memberIds"]), r["unread"].toInt()});
    return out;
}

QStringList DevServer::memberPictures(const QVector<DevRoom>& rooms, qint64 userId)
{
    QStringList urls;
    for (const DevRoom& room : rooms) {
        for (const qint64 id : room.memberIds) {
            const QJsonValue user = control("GET", QStringLiteral("/control/users/%1").arg(id));
            urls << (id == userId ? QString() : user["thumbUrl"].toString());
        }
    }
    urls.removeAll(QString());
    urls.removeDuplicates();
    return urls;
}

int DevServer::appendHistory(qint64 roomId, int count)
{
    const QJsonObject body{{"roomId", double(roomId)}, {"count", count}};
    return call("POST", "/control/history", body).value_or(QJsonValue())["total"].toInt();
}

QVector<DevPublished> DevServer::published(qint64 since)
{
    QVector<DevPublished> out;
    for (const QJsonValue e :
         control("GET", QStringLiteral("/control/published?n=20000&since=%1").arg(since)).toArray())
        out.append(DevPublished{number(e["time"]), e["topic"].toString(), number(e["userId"]),
                                e["type"].toInt(), e["messageId"].toString(),
                                e["contentType"].toInt(), e["contents"].toString()});
    return out;
}

qint64 DevServer::lastPublishedSeq()
{
    const QJsonArray last = control("GET", QStringLiteral("/control/published?n=1")).toArray();
    return last.isEmpty() ? 0 : number(last.last()[QLatin1String("seq")]);
}

qint64 DevRoom::otherThan(qint64 userId) const
{
    const auto other =
        std::find_if(memberIds.begin(), memberIds.end(), [&](qint64 id) { return id != userId; });
    return other == memberIds.end() ? 0 : *other;
}

qint64 DevServer::addUser(const QString& name, const QString& account)
{
    const QJsonObject body{{"userName", name}, {"loginAccnt", account}, {"password", kPassword}};
    return number(call("POST", "/control/user", body).value_or(QJsonValue())["userId"]);
}

DevRoom DevServer::addRoom(qint64 owner, const QVector<qint64>& members, int roomType)
{
    const QJsonObject body{
        {"userId", double(owner)}, {"members", numbers(members)}, {"roomType", roomType}};
    const qint64 made =
        number(call("POST", "/control/room", body).value_or(QJsonValue())["chattRoomId"]);
    // The answer is the REST room object; the control listing adds topic and member ids.
    const QVector<DevRoom> all = rooms(owner);
    const auto room = std::find_if(all.begin(), all.end(),
                                   [&](const DevRoom& r) { return made > 0 && r.roomId == made; });
    return room == all.end() ? DevRoom() : *room;
}

QVector<DevRoom> DevServer::rooms(qint64 userId, bool shared)
{
    QVector<DevRoom> out;
    for (const QJsonValue r :
         control("GET", QStringLiteral("/control/rooms?userId=%1").arg(userId)).toArray()) {
        const DevRoom room{number(r["chattRoomId"]), r["topic"].toString(),
                           r["chattRoomType"].toString().toInt(), idsOf(r["memberIds"])};
        if (!shared || (room.roomType != 10 && room.memberIds.size() > 1))
            out.append(room);
    }
    return out;
}

QString DevServer::chat(qint64 roomId, qint64 senderId, const QString& text,
                        const QJsonObject& extra)
{
    QJsonObject body = extra;
    body["roomId"] = double(roomId);
    body["userId"] = double(senderId);
    body["text"] = text;
    return call("POST", "/control/chat", body).value_or(QJsonValue())["messageId"].toString();
}

bool DevServer::chats(qint64 roomId, qint64 senderId, const QString& text, int count)
{
    int sent = 0;
    while (sent < count &&
           !chat(roomId, senderId, QStringLiteral("%1 %2").arg(text).arg(sent + 1)).isEmpty())
        ++sent;
    return sent == count;
}

QJsonObject DevServer::session(qint64 userId, const QString& deviceId)
{
    const QJsonArray all = sessions(userId);
    const auto s = std::find_if(all.begin(), all.end(), [&](const QJsonValue& v) {
        return v["deviceId"].toString() == deviceId;
    });
    return s == all.end() ? QJsonObject() : (*s).toObject();
}

QVector<DevRequest> DevServer::requestsOf(const QString& deviceId, qint64 since)
{
    QVector<DevRequest> out;
    for (const QJsonValue r : requests(QStringLiteral("/rest"), since)) {
        if (r["headers"]["device-id"].toString() == deviceId &&
            r["path"].toString() != QLatin1String("/rest/auth/ping"))
            out.append({r["method"].toString(), r["path"].toString()});
    }
    return out;
}

QVector<DevLogin> DevServer::logins(qint64 since)
{
    QVector<DevLogin> out;
    for (const QJsonValue r : requests(QStringLiteral("/rest/auth"), since)) {
        // A request is recorded with its form once it has been read whole.
        if (r["method"].toString() == QLatin1String("POST") &&
            r["path"].toString() == QLatin1String("/rest/auth") && r["form"].isObject())
            out.append({r["form"]["loginAccnt"].toString(), r["form"]["forceYn"].toString(),
                        r["headers"]["device-id"].toString()});
    }
    return out;
}

int DevServer::answeredPings(const QString& deviceId, qint64 since)
{
    const QJsonArray pings = requests(QStringLiteral("/rest/auth/ping"), since);
    return int(std::count_if(pings.begin(), pings.end(), [&](const QJsonValue& r) {
        return r["headers"]["device-id"].toString() == deviceId && r["status"].toInt() == 200;
    }));
}

QVector<DevSent> DevServer::sentSince(qint64 since, const QString& topic)
{
    QVector<DevSent> out;
    for (const DevPublished& p : published(since)) {
        // Read enter and leave (type 2) come and go with window activations.
        if (p.topic == topic && p.type >= 1 && p.type <= 5 && p.type != 2)
            out.append({p.type, p.contentType, p.contents});
    }
    return out;
}

QStringList DevServer::publishedIds(qint64 since, const QString& topic)
{
    QStringList ids;
    for (const DevPublished& p : published(since)) {
        if (p.topic == topic && p.type == 1)
            ids << p.messageId;
    }
    return ids;
}
