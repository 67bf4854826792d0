#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

// One chat event as it travels as an MQTT payload on a room topic: an 8-byte big-endian sending
// time, a type byte, then per type a content type, the sender's id, the message id, an id list
// and a UTF-8 tail that runs to the end. The layout is shared with every other client of the
// chat server, so the bytes produced and accepted here must never change.
struct ChatPayload
{
    enum MessageType : quint8
    {
        TypeChat = 1,
        TypeRead = 2,
        TypeInvite = 3,
        TypeAdmission = 4,
        TypeLeave = 5,
        TypePush = 6,
        TypePushReq = 7,
        TypePushRes = 8,
        TypeEnterRead = 9,
        TypeLeaveRead = 10,
        TypeHereRead = 11,
        TypeLogout = 99,
    };
    enum ContentType : quint8
    {
        ContentText = 1,
        ContentImage = 2,
        ContentVideo = 3,
        ContentFile = 4,
    };

    qint64 msgTime = 0; // milliseconds since the epoch, the sender's clock
    quint8 messageType = 0;
    quint8 contentType = 0; // CHAT only
    qint32 senderId = 0;    // every handled type but LOGOUT
    QString messageId;      // CHAT and the room and read events; not PUSH nor LOGOUT
    QVector<qint32> idList; // CHAT only; carried but not interpreted
    QByteArray contents;    // the UTF-8 tail, verbatim

    // The tail as text.
    QString text() const;
    // The tail as a JSON object; a tail that is not a JSON object reads as an empty one, so every
    // key of a malformed tail reads as absent.
    QJsonObject object() const;

    // Builders for what this client sends; the caller gives the time and the session's user id.
    static ChatPayload chat(qint64 msgTime, qint32 senderId, quint8 contentType,
                            const QString& messageId, const QVector<qint32>& idList,
                            const QString& contents);
    // INVITE, ADMISSION, LEAVE, ENTERREAD, LEAVEREAD, HEREREAD.
    static ChatPayload event(qint64 msgTime, quint8 messageType, qint32 senderId,
                             const QString& messageId, const QString& contents);
    static ChatPayload push(qint64 msgTime, qint32 senderId, const QString& contents);
    static ChatPayload logout(qint64 msgTime);

    // ENTERREAD's tail: the reading session's client id and the time from which it has read the
    // room, as a JSON integer (64-bit milliseconds must survive the trip exactly).
    static QString enterReadContents(const QString& clientId, qint64 readTime);
    // A JSON number as a 64-bit integer, 0 when it is absent or not a number.
    static qint64 toInt64(const QJsonValue& value);

    // The name of a message type as it appears in logs ("UNKNOWN" for values not in the table).
    static QString typeName(int messageType);
    // Whether the receiving side handles the type (every other type is logged and dropped).
    static bool isHandledType(int messageType);
    static bool isKnownContentType(int contentType);
};
