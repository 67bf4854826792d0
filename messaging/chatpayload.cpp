#include "messaging/chatpayload.h"

#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>

QString ChatPayload::text() const
{
    return QString::fromUtf8(contents);
}

QJsonObject ChatPayload::object() const
{
    // A JSON array or scalar is as useless to the handlers as text that does not parse.
    return QJsonDocument::fromJson(contents).object();
}

ChatPayload ChatPayload::chat(qint64 msgTime, qint32 senderId, quint8 contentType,
                              const QString& messageId, const QVector<qint32>& idList,
                              const QString& contents)
{
    ChatPayload p = event(msgTime, TypeChat, senderId, messageId, contents);
    p.contentType = contentType;
    p.idList = idList;
    return p;
}

ChatPayload ChatPayload::event(qint64 msgTime, quint8 messageType, qint32 senderId,
                               const QString& messageId, const QString& contents)
{
    ChatPayload p;
    p.msgTime = msgTime;
    p.messageType = messageType;
    p.senderId = senderId;
    p.messageId = messageId;
    p.contents = contents.toUtf8();
    return p;
}

ChatPayload ChatPayload::push(qint64 msgTime, qint32 senderId, const QString& contents)
{
    return event(msgTime, TypePush, senderId, QString(), contents);
}

ChatPayload ChatPayload::logout(qint64 msgTime)
{
    ChatPayload p;
    p.msgTime = msgTime;
    p.messageType = TypeLogout;
    return p;
}

QString ChatPayload::enterReadContents(const QString& clientId, qint64 readTime)
{
    QJsonObject o;
    o.insert(QStringLiteral("clientId"), clientId);
    o.insert(QStringLiteral("readTime"), readTime);
    return QString::fromUtf8(QJsonDocument(o).toJson());
}

qint64 ChatPayload::toInt64(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    // Out-of-range numbers would make the conversion undefined; no valid time comes near them.
    if (!std::isfinite(d) || std::fabs(d) >= 9.2e18)
        return 0;
    return qint64(d);
}

QString ChatPayload::typeName(int messageType)
{
    switch (messageType) {
    case TypeChat:
        return QStringLiteral("CHAT");
    case TypeRead:
        return QStringLiteral("READ");
    case TypeInvite:
        return QStringLiteral("INVITE");
    case TypeAdmission:
        return QStringLiteral("ADMISSION");
    case TypeLeave:
        return QStringLiteral("LEAVE");
    case TypePush:
        return QStringLiteral("PUSH");
    case TypePushReq:
        return QStringLiteral("PUSHREQ");
    case TypePushRes:
        return QStringLiteral("PUSHRES");
    case TypeEnterRead:
        return QStringLiteral("ENTERREAD");
    case TypeLeaveRead:
        return QStringLiteral("LEAVEREAD");
    case TypeHereRead:
        return QStringLiteral("HEREREAD");
    case TypeLogout:
        return QStringLiteral("LOGOUT");
    default:
        return QStringLiteral("UNKNOWN");
    }
}

bool ChatPayload::isHandledType(int messageType)
{
    switch (messageType) {
    case TypeChat:
    case TypeInvite:
    case TypeAdmission:
    case TypeLeave:
    case TypePush:
    case TypeEnterRead:
    case TypeLeaveRead:
    case TypeHereRead:
    case TypeLogout:
        return true;
    default:
        return false;
    }
}

bool ChatPayload::isKnownContentType(int contentType)
{
    return contentType >= ContentText && contentType <= ContentFile;
}
