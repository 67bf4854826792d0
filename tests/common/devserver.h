#pragma once

#include "common/childprocess.h"
#include "common/typed.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QVector>

#include <csignal>
#include <optional>

// A fault rule for the served paths (devserver/README.md, "Injected faults").
struct DevFault
{
    QString mode;                           // "error", "body", "hang" or "stall"
    QString path = QStringLiteral("/rest"); // prefix of the request path; "/" for all
    QByteArray method = {};                 // empty: any method
    int count = 0;                          // the rule ends after so many requests; 0: never
    int status = 0;                         // 0: 500 for an error, 200 for a body
    int code = 0;                           // of an error body; 0: 50000
    bool emptyBody = false;                 // an error without a body
    QByteArray raw = {};                    // the body of "body"
    QByteArray type = {};                   // its content type; empty: application/json
    int bytes = -1;                         // bytes of a stalled answer sent; -1: 1024
    bool finish = false;                    // a stall cleared sends the rest instead of closing

    static DevFault error(const QString& path, int status, int code = 0, int count = 0)
    {
        return DevFault{QStringLiteral("error"), path, {}, count, status, code};
    }
    static DevFault body(const QString& path, const QByteArray& raw, int status = 200,
                         const QByteArray& type = QByteArray())
    {
        return DevFault{QStringLiteral("body"), path, {}, 0, status, 0, false, raw, type};
    }
    static DevFault hang(const QString& path) { return DevFault{QStringLiteral("hang"), path}; }
    static DevFault stall(const QString& path, int bytes, bool finish = false)
    {
        return DevFault{QStringLiteral("stall"), path, {}, 0, 0, 0, false, {}, {}, bytes, finish};
    }
    QJsonObject toJson() const;
};

// A version refusal and the update package behind its link.
struct DevUpdate
{
    int minVersion = 0;          // App-Ver below it gets 40106
    std::optional<QString> link; // none: the default package link; "": a refusal without one
    qint64 size = -1;            // whole package size; -1: its first line and 64 KiB
    bool chunked = false;        // sent without a length
    qint64 bytesPerSecond = 0;   // 0: the general rate limit
};

// One PUBLISH a client sent to the broker, as sent (before the server's changes).
struct DevPublished
{
    qint64 time = 0; // when the broker received it, ms
    QString topic;
    qint64 userId = 0;
    int type = 0; // the payload head's message type
    QString messageId;
    int contentType = 0; // CHAT only
    QString contents;    // the text tail
};

// A chat or room notice published to a room, as its members get it.
struct DevSent
{
    int type = 0;
    int contentType = 0;
    QString contents;
    MT_TYPED(DevSent, type, contentType, contents)
};

// A room as the server keeps it, or as DevServer::bulk made it for its account.
struct DevRoom
{
    qint64 roomId = 0;
    QString topic;
    int roomType = 0; // 10 a group's room, 20 one-to-one, 30 one-to-many
    QVector<qint64> memberIds;
    int unread = 0; // bulk: chats the account's sessions get at their next connect
    // A member other than `userId` (0 when none).
    qint64 otherThan(qint64 userId) const;
};

// One REST request the server received.
struct DevRequest
{
    QString method;
    QString path;
    MT_TYPED(DevRequest, method, path)
};

// The form of one login the server received.
struct DevLogin
{
    QString account;
    QString forceYn;
    QString deviceId; // the request's Device-Id header
    MT_TYPED(DevLogin, account, forceYn, deviceId)
};

// The reference chat server for one test: own data folder and CA, free ports, control interface.
class DevServer
{
public:
    DevServer();
    ~DevServer() { stop(); }

    // Starts and waits for the server's READY line; `extraArgs` are further server options.
    bool start(const QStringList& extraArgs = QStringList());
    // SIGTERM, then waits for the exit.
    void stop() { ChildProcess::stop(m_process); }
    // While paused nothing answers, so a test can act while a request is known to be in flight.
    bool pause() { return sendSignal(SIGSTOP); }
    bool resume() { return sendSignal(SIGCONT); }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    QString errorString() const { return m_error; }
    int restPort() const { return m_restPort; }
    int controlPort() const { return m_controlPort; }
    QString dataDir() const { return m_dir.filePath(QStringLiteral("data")); }
    // The client configuration the server wrote (host, ports, CaFile=ca.pem).
    QString clientIni() const { return dataDir() + QStringLiteral("/client.ini"); }
    QString caFile() const { return dataDir() + QStringLiteral("/ca.pem"); }

    // One control call; the answer's JSON (null without one), `status` the HTTP status or 0.
    QJsonValue control(const QByteArray& method, const QString& path,
                       const QJsonValue& body = QJsonValue(), int* status = nullptr);
    // What the REST side received, oldest first, under a path prefix and after a sequence.
    QJsonArray requests(const QString& pathPrefix = QString(), qint64 since = 0);
    // The sequence number of the newest request received (0 when none).
    qint64 lastRequestSeq();
    // How many TLS connections the REST side has accepted so far; a request's record names its
    // connection by this count at the time it was accepted.
    int connectionsOpened() { return control("GET", "/control/connections")["opened"].toInt(); }
    // A fault rule as JSON ({"mode": "error"|"body"|"hang"|"stall"|"off", ...}).
    bool setFault(const QJsonObject& rule) { return bool(call("POST", "/control/fail", rule)); }
    bool fail(const DevFault& fault) { return setFault(fault.toJson()); }
    // Clears the rule; hung requests get 503, stalled answers close (or finish).
    bool clearFault() { return setFault(QJsonObject{{"mode", "off"}}); }
    // A transfer rate limit, for every body or those under `path`; 0 clears.
    bool setRate(qint64 bytesPerSecond, const QString& path = QString());
    // The version refusal and update package; the link the refusal names (null on failure).
    std::optional<QString> setUpdate(const DevUpdate& update);
    bool clearUpdate()
    {
        return bool(call("POST", "/control/version", QJsonObject{{"minVersion", QJsonValue()}}));
    }

    // The next login of the same device gets new keys; sessions marked, -1 on failure.
    int rotateKeys(qint64 userId)
    {
        return count("/control/session/rotate", {{"userId", double(userId)}}, "sessions");
    }
    // Closes the broker connections only; the number closed, -1 on failure.
    int dropBroker(const QString& clientId)
    {
        return count("/control/broker/drop", {{"clientId", clientId}}, "dropped");
    }
    // The sessions of a user as the control interface lists them.
    QJsonArray sessions(qint64 userId)
    {
        return control("GET", QStringLiteral("/control/sessions?userId=%1").arg(userId)).toArray();
    }

    // New rooms with chats spread over them, delivered at the next connect unless `deliver` is
    // false.
    QVector<DevRoom> bulk(const QString& account, int rooms, int chats, bool deliver = true);
    // The picture addresses of the rooms' members other than the user, once each.
    QStringList memberPictures(const QVector<DevRoom>& rooms, qint64 userId);
    // `count` chats appended to the room's history without publishing them, each "History chat
    // <n>", the last one now; how many the room keeps then (0 when the call failed).
    int appendHistory(qint64 roomId, int count);
    // What clients published after a sequence number, oldest first.
    QVector<DevPublished> published(qint64 since = 0);
    // The sequence number of the newest publish recorded (0 when none).
    qint64 lastPublishedSeq();
    // A directory user by account ("user001"), with "userId".
    QJsonObject user(const QString& account)
    {
        return control("GET", QStringLiteral("/control/users?account=") + account).toObject();
    }

    // The password of every account the server seeds and of the users added here.
    static inline const QString kPassword = QStringLiteral("Passw0rd!");
    // The user id of an account; 0 when there is none.
    qint64 userId(const QString& account) { return qint64(user(account)["userId"].toDouble()); }
    // A directory user with kPassword; its user id, 0 on failure.
    qint64 addUser(const QString& name, const QString& account);
    // A room made by `owner` with the members; roomId 0 on failure.
    DevRoom addRoom(qint64 owner, const QVector<qint64>& members, int roomType = 30);
    // Every room of a user; `shared` leaves out group rooms and rooms without another member.
    QVector<DevRoom> rooms(qint64 userId, bool shared = false);
    // A chat in the sender's name, published and kept, `extra` fields added; its id or empty.
    QString chat(qint64 roomId, qint64 senderId, const QString& text,
                 const QJsonObject& extra = QJsonObject());
    // `count` chats "<text> <n>", n from 1; whether all were taken.
    bool chats(qint64 roomId, qint64 senderId, const QString& text, int count);
    // The last `n` chats the server keeps for a room, oldest first.
    QJsonArray history(qint64 roomId, int n = 100)
    {
        return control("GET", QStringLiteral("/control/history/%1?n=%2").arg(roomId).arg(n))
            .toArray();
    }
    // The session of a user's device; empty when none.
    QJsonObject session(qint64 userId, const QString& deviceId);
    // A LOGOUT notice to the user's sessions; with `end` they end too.
    bool logout(qint64 userId, bool end)
    {
        return bool(
            call("POST", "/control/logout", QJsonObject{{"userId", double(userId)}, {"end", end}}));
    }
    // One device's REST requests after a sequence number, keep-alives left out.
    QVector<DevRequest> requestsOf(const QString& deviceId, qint64 since);
    // The logins read whole after a sequence number, of every device.
    QVector<DevLogin> logins(qint64 since);
    // One device's keep-alives after a sequence number that were answered with 200.
    int answeredPings(const QString& deviceId, qint64 since);
    // Chats and room notices published to the topic after a sequence, and the chats' ids.
    QVector<DevSent> sentSince(qint64 since, const QString& topic);
    QStringList publishedIds(qint64 since, const QString& topic);

private:
    // Everything the server printed.
    QString output() const;
    // A control call answered with 200: its answer; none otherwise.
    std::optional<QJsonValue> call(const QByteArray& method, const QString& path,
                                   const QJsonValue& body = QJsonValue());
    // A control call on the sessions the key names; the answer's count, -1 on failure.
    int count(const char* path, const QJsonObject& key, const char* field);
    bool sendSignal(int signal);

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_restPort = 0;
    int m_controlPort = 0;
    QString m_error;
};
