// The request catalogue: every REST request of the client with its path, method and form.
#include "net/netservermanager.h"

#include "net/netform.h"
#include "net/netlogmask.h"
#include "net/netsessionheaders.h"
#include "store/dbchatroom.h"
#include "store/dbtypes.h"

#include <QDebug>

namespace {
QString pathOf(std::initializer_list<QString> segments)
{
    QStringList parts;
    for (const QString& segment : segments)
        parts << segment;
    return parts.join(QLatin1Char('/'));
}

// The server knows a left one-to-one room by its original type.
int sentRoomType(int roomType)
{
    return roomType == RoomTypeLeave ? RoomType1VS1 : roomType;
}
} // namespace

bool NetServerManager::reqLogin(int reqCode, const QString& loginAccnt, const QString& passwd,
                                int forceYn)
{
    // The form encoder leaves "+" as it is, which the server would read as a blank.
    QString passToVari = passwd;
    passToVari.replace(QLatin1Char('+'), QLatin1String("%2B"));
    qDebug().noquote().nospace() << "NetServerManager::reqLogin passToVari "
                                 << NetLogMask::secret(passToVari);
    NetForm form;
    form.add(QStringLiteral("loginAccnt"), loginAccnt);
    form.addFormValue(QStringLiteral("passwd"), passToVari);
    form.add(QStringLiteral("deviceModel"), QStringLiteral("PC"));
    form.add(QStringLiteral("forceYn"), QString::number(forceYn));
    qDebug().noquote().nospace() << "NetServerManager::reqLogin queryItemValue passToVari "
                                 << NetLogMask::secret(
                                        form.query().queryItemValue(QStringLiteral("passwd")));
    // On a worker: the POST's body reaches the connection without waiting for the GUI thread,
    // which is busy showing that the login has begun.
    const QUrl url = makeUrl(QStringLiteral("/rest/auth"));
    const NetSessionHeaders headers = NetSessionHeaders::capture();
    const QUrlQuery query = form.query();
    return startTask([=] {
        QJsonObject answer;
        if (fetchObject(reqCode, url, headers, &answer, QStringLiteral("POST"), query))
            emit onHttpSuccess(reqCode, answer);
    });
}

bool NetServerManager::reqPing(int reqCode)
{
    return sendAsync(reqCode, QStringLiteral("/rest/auth/ping"), QStringLiteral("GET"));
}

bool NetServerManager::reqLogout(int reqCode)
{
    return sendAsync(reqCode, pathOf({QStringLiteral("/rest/auth"), ownIdText()}),
                     QStringLiteral("DELETE"));
}

bool NetServerManager::reqUpdateMyProfile(int reqCode, const QString& userName, bool chattingAllow,
                                          const QString& fileKey)
{
    NetForm form;
    form.add(QStringLiteral("userId"), ownIdText());
    form.add(QStringLiteral("userName"), userName);
    form.add(QStringLiteral("chattingAllowYn"),
             chattingAllow ? QStringLiteral("1") : QStringLiteral("0"));
    form.add(QStringLiteral("tel"), m_profileTel);
    form.add(QStringLiteral("telOpenYn"), QStringLiteral("1"));
    if (!fileKey.isEmpty())
        form.add(QStringLiteral("fileKey"), fileKey);
    return sendAsync(reqCode, QStringLiteral("/rest/user"), QStringLiteral("PUT"), form.query());
}

bool NetServerManager::reqChangePassword(int reqCode, const QString& oldPassword,
                                         const QString& newPassword, const QString& confirmPassword)
{
    NetForm form;
    form.add(QStringLiteral("oPasswd"), oldPassword);
    form.add(QStringLiteral("nPasswd"), newPassword);
    form.add(QStringLiteral("cPasswd"), confirmPassword);
    return sendAsync(reqCode, QStringLiteral("/rest/user/password"), QStringLiteral("PUT"),
                     form.query());
}

bool NetServerManager::reqLeaveChatRoom(int reqCode, qint64 roomId, int roomType)
{
    return sendAsync(reqCode,
                     pathOf({QStringLiteral("/rest/chatt/room/member"), ownIdText(),
                             QString::number(roomId), QString::number(sentRoomType(roomType))}),
                     QStringLiteral("DELETE"));
}

bool NetServerManager::reqFileAuth(int reqCode)
{
    return sendAsync(reqCode, QStringLiteral("/rest/file/auth"), QStringLiteral("GET"));
}

bool NetServerManager::reqChatLoad(int reqCode, qint64 roomId, qint64 lastMessageTimestamp)
{
    return sendAsync(
        reqCode,
        pathOf({QStringLiteral("/rest/chatt/room/savechatlist"), QString::number(roomId),
                QString::number(lastMessageTimestamp), QStringLiteral("1"), QStringLiteral("50")}),
        QStringLiteral("GET"));
}

bool NetServerManager::reqGroupInfo(int reqCode, qint64 groupId)
{
    return sendAsync(reqCode,
                     pathOf({QStringLiteral("/rest/group/info"), QString::number(groupId)}),
                     QStringLiteral("GET"));
}

bool NetServerManager::reqChatRoom(int reqCode, const QString& topic)
{
    return sendAsync(reqCode,
                     pathOf({QStringLiteral("/rest/chatt/room"), ownIdText(),
                             QString::number(roomIdFromTopic(topic))}),
                     QStringLiteral("GET"));
}

bool NetServerManager::reqNewChatRoom(int reqCode, DBChatRoom& room)
{
    room.setType(sentRoomType(room.type()));
    qDebug().noquote().nospace() << "NetServerManager::reqNewChatRoom - [NEW ROOM] 20 is 1v1, type="
                                 << room.type();
    NetForm form;
    for (const QString& member : room.members().split(QLatin1Char(','), Qt::SkipEmptyParts))
        form.add(QStringLiteral("members"), member.trimmed());
    form.add(QStringLiteral("userId"), ownIdText());
    form.add(QStringLiteral("roomType"), QString::number(room.type()));
    return sendAsync(reqCode, QStringLiteral("/rest/chatt/room"), QStringLiteral("POST"),
                     form.query());
}

bool NetServerManager::reqInviteMember(int reqCode, qint64 roomId, const QStringList& members)
{
    NetForm form;
    form.add(QStringLiteral("userId"), ownIdText());
    form.add(QStringLiteral("roomId"), QString::number(roomId));
    for (const QString& member : members)
        form.add(QStringLiteral("members"), member);
    return sendAsync(reqCode, QStringLiteral("/rest/chatt/room/member"), QStringLiteral("POST"),
                     form.query());
}
