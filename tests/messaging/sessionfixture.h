#pragma once

// A signed-in store, its user's broker account, peers' payloads, and items as lines.
#include "common/mosquittobroker.h"
#include "common/typed.h"
#include "messaging/mqttmanager.h"
#include "messaging/payloadcodec.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QSignalSpy>

#include <memory>
#include <vector>

using Item = MqttManager::MessageItem;
using Items = std::vector<std::unique_ptr<Item>>;

const qint32 kMe = 7, kAlice = 8, kBob = 9, kCarol = 10;
const qint64 kT = 1700000000000;
const QString kClientId = QStringLiteral("client-A");
const QString kKey = QStringLiteral("access-key-7");

// A real store signed in as user 7 ("Me", "client-A"), with Alice, Bob and Carol.
struct SessionFixture
{
    SessionFixture()
    {
        DBEditor editor;
        session.setUserId(editor, kMe);
        session.setClientId(editor, kClientId);
        session.setUserName(editor, QStringLiteral("Me"));
        const QStringList names{"Me", "Alice", "Bob", "Carol"};
        for (int i = 0; i < names.size(); ++i)
            store.addUser(kMe + i, names.at(i));
    }
    StoreFixture store;
    MTData session{&store.db()};
};

// The broker with the user's account, started.
inline bool startBroker(MosquittoBroker& broker)
{
    return MosquittoBroker::toolsAvailable() && broker.addUser(QString::number(kMe), kKey) &&
           broker.start();
}

// A client of the user connected to the broker as `clientId`.
inline bool connectClient(QMQTT::Client& client, const MosquittoBroker& broker,
                          const QString& clientId)
{
    client.setHostName(broker.host());
    client.setPort(broker.port());
    client.setClientId(clientId);
    client.setUsername(QString::number(kMe));
    client.setPassword(kKey.toLatin1());
    QSignalSpy connected(&client, &QMQTT::Client::connected);
    client.connectToHost();
    return connected.wait(10000);
}

inline QByteArray chatPayload(qint32 sender, int contentType, const QString& id,
                              const QString& text, qint64 time = kT)
{
    return PayloadCodec::encode(ChatPayload::chat(time, sender, quint8(contentType), id, {}, text));
}

inline QByteArray eventPayload(int type, qint32 sender, const QString& id, const QString& contents)
{
    return PayloadCodec::encode(ChatPayload::event(kT, quint8(type), sender, id, contents));
}

inline QString json(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson());
}

// A room event's contents: the room (members in `names` with a user record) and those let in.
inline QString roomEvent(int roomId, int type, const QList<qint32>& members,
                         const QStringList& invited = {}, const QMap<qint32, QString>& names = {})
{
    QJsonArray array;
    for (qint32 id : members) {
        QJsonObject member{{"joinUserId", id}};
        if (names.contains(id))
            member.insert("user", QJsonObject{{"userId", id}, {"userName", names.value(id)}});
        array << member;
    }
    const QJsonObject room{
        {"chattRoomId", roomId}, {"chattRoomType", QString::number(type)}, {"members", array}};
    return json({{"chatRoomInfo", room}, {"inviteUserIds", QJsonArray::fromStringList(invited)}});
}

// A queued item as the window would take it: its kind, what it carries (empty fields at the end
// left out) and its topic when that is not the case's own.
struct Queued
{
    QString kind;
    QStringList fields;
    QString on = {};
    MT_TYPED(Queued, kind, fields, on)
};

inline QList<Queued> describe(const Items& items, const QString& topic)
{
    static const char* const kinds[] = {"noroom", "chat",   "invite", "admission", "leave",
                                        "push",   "myread", "read",   "leaveread", "hereread"};
    using M = MqttManager;
    QList<Queued> out;
    for (const auto& item : items) {
        Queued q{QLatin1String(kinds[item->type()]), {}, {}};
        QString at;
        if (const auto* n = dynamic_cast<const M::NoRoomExistMessageItem*>(item.get())) {
            at = n->topic();
        } else if (const auto* c = dynamic_cast<const M::ChatMessageItem*>(item.get())) {
            const DBChat& chat = c->chat();
            at = chat.topic();
            q.fields << chat.msgId() << chat.senderName() << QString::number(chat.msgRead())
                     << chat.fileName() << chat.remotePathUrl();
            // The GUI thread gets no way to the delivery thread's connection.
            if (chat.dbManager() &&
                chat.dbManager()->connectionName() == QLatin1String(DBManager::kConnectionMqtt))
                q.fields << QStringLiteral("with the delivery thread's connection");
        } else if (const auto* r = dynamic_cast<const M::RoomMessageItem*>(item.get())) {
            at = r->room().topic();
            q.fields << QString::number(r->room().type()) << QString::number(r->room().dataState())
                     << r->room().members() << r->chat().content() << r->chat().senderName();
        } else if (const auto* m = dynamic_cast<const M::EnterMyReadMessageItem*>(item.get())) {
            at = m->topic();
            q.fields << m->clientId() << QString::number(m->unread());
        } else if (const auto* e = dynamic_cast<const M::EnterReadMessageItem*>(item.get())) {
            at = e->topic();
            const QVariantMap reads = e->mapReads();
            for (auto it = reads.begin(); it != reads.end(); ++it)
                q.fields << it.key() + QLatin1Char('=') + it.value().toString();
        } else if (const auto* s = dynamic_cast<const M::SessionReadMessageItem*>(item.get())) {
            at = s->topic();
            q.fields << QString::number(s->userId()) << s->clientId();
        }
        while (!q.fields.isEmpty() && q.fields.last().isEmpty())
            q.fields.removeLast();
        if (!at.isEmpty() && at != topic)
            q.on = at;
        out << q;
    }
    return out;
}
