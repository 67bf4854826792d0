#include "storefixture.h"

#include "store/dbmanager.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

StoreFixture::StoreFixture(const QString& connectionName) : m_connectionName(connectionName)
{
    reopen();
}

StoreFixture::~StoreFixture() = default;

QString StoreFixture::file() const
{
    return m_env.path(QStringLiteral("veltri_test.db"));
}

bool StoreFixture::isOpen() const
{
    return m_db && m_db->isOpen();
}

void StoreFixture::reopen()
{
    m_db.reset();
    m_db = std::make_unique<DBManager>(file(), m_connectionName,
                                       QString::fromLatin1(DBManager::kPassword), 1);
}

bool StoreFixture::exec(const QString& sql, const QVariantList& values)
{
    QSqlQuery query(m_db->database());
    if (!query.prepare(sql)) {
        qWarning() << "fixture prepare failed:" << sql << query.lastError().text();
        return false;
    }
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        qWarning() << "fixture exec failed:" << sql << query.lastError().text();
        return false;
    }
    return true;
}

QStringList StoreFixture::rows(const QString& sql, const QVariantList& values)
{
    QStringList out;
    QSqlQuery query(m_db->database());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return {QStringLiteral("prepare failed: ") + query.lastError().text()};
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return {QStringLiteral("exec failed: ") + query.lastError().text()};
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns << (query.value(i).isNull() ? QStringLiteral("NULL")
                                                : query.value(i).toString());
        out << columns.join(QLatin1Char('|'));
    }
    return out;
}

qint64 StoreFixture::number(const QString& sql, const QVariantList& values)
{
    const QStringList found = rows(sql, values);
    return found.isEmpty() ? -1 : found.first().section(QLatin1Char('|'), 0, 0).toLongLong();
}

void StoreFixture::addUser(qint64 userId, const QString& name, const QString& sort, int state)
{
    QVERIFY(exec(QStringLiteral("INSERT INTO TTT_USER (user_id, user_name, user_state, user_sort, "
                                "chatt_allow) VALUES (?, ?, ?, ?, 1)"),
                 {userId, name, state, sort.isNull() ? QStringLiteral("999999") : sort}));
}

void StoreFixture::addGroup(qint64 groupId, const QString& name)
{
    QVERIFY(exec(QStringLiteral("INSERT INTO TTT_GROUP (group_id, group_name) VALUES (?, ?)"),
                 {groupId, name}));
}

void StoreFixture::addMembership(qint64 groupId, qint64 userId, int state)
{
    QVERIFY(exec(QStringLiteral("INSERT INTO TTT_USER_GROUP (group_id, user_id, state, member) "
                                "VALUES (?, ?, ?, 0)"),
                 {groupId, userId, state}));
}

void StoreFixture::addRoom(const QString& topic, int type, const QString& members,
                           qint64 updateDate)
{
    QVERIFY(exec(QStringLiteral("INSERT INTO TTT_CHATT_ROOM (topic, type, members, create_date, "
                                "update_date) VALUES (?, ?, ?, ?, ?)"),
                 {topic, type, members, updateDate, updateDate}));
}

void StoreFixture::addChat(const QString& topic, const QString& msgId, qint64 senderId,
                           qint64 msgTime, int msgState, int msgRead, const QString& content,
                           int msgType, int contentType)
{
    QVERIFY(
        exec(QStringLiteral("INSERT INTO TTT_CHATT (topic, msg_type, content_type, msg_id, "
                            "sender_id, content, file_path, msg_time, count, msg_state, "
                            "msg_read) VALUES (?, ?, ?, ?, ?, ?, '', ?, 0, ?, ?)"),
             {topic, msgType, contentType, msgId, senderId, content, msgTime, msgState, msgRead}));
}

void StoreFixture::addReader(const QString& topic, const QString& msgId, qint64 readerId,
                             qint64 msgTime)
{
    QVERIFY(exec(QStringLiteral("INSERT INTO TTT_CHATT_READER (topic, msg_id, reader_id, msg_time) "
                                "VALUES (?, ?, ?, ?)"),
                 {topic, msgId, readerId, msgTime}));
}
