#include "storefixture.h"

#include "store/dbmanager.h"

#include <QSqlError>
#include <QSqlRecord>
#include <QtTest>

QString fields(std::initializer_list<QVariant> values)
{
    QStringList out;
    for (const QVariant& value : values)
        out << (value.type() == QVariant::Bool ? QString::number(value.toInt()) : value.toString());
    return out.join(QLatin1Char('|'));
}

StoreFixture::StoreFixture(const QString& connectionName) : m_connectionName(connectionName)
{
    reopen();
}

StoreFixture::~StoreFixture() = default;

void StoreFixture::reopen()
{
    m_db.reset();
    m_db = std::make_unique<DBManager>(file(), m_connectionName,
                                       QString::fromLatin1(DBManager::kPassword), 1);
}

QSqlQuery StoreFixture::run(const QString& sql, const QVariantList& values, QString* error)
{
    QSqlQuery query(m_db->database());
    query.setForwardOnly(true);
    if (query.prepare(sql)) {
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (query.exec())
            return query;
    }
    *error = QStringLiteral("failed: ") + sql + QStringLiteral(": ") + query.lastError().text();
    return query;
}

bool StoreFixture::exec(const QString& sql, const QVariantList& values)
{
    QString error;
    run(sql, values, &error);
    if (!error.isEmpty())
        qWarning().noquote() << error;
    return error.isEmpty();
}

QStringList StoreFixture::rows(const QString& sql, const QVariantList& values)
{
    QString error;
    QSqlQuery query = run(sql, values, &error);
    if (!error.isEmpty())
        return {error};
    QStringList out;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
        out << columns.join(QLatin1Char('|'));
    }
    return out;
}

qint64 StoreFixture::number(const QString& sql, const QVariantList& values)
{
    const QStringList found = rows(sql, values);
    return found.isEmpty() ? -1 : found.first().section(QLatin1Char('|'), 0, 0).toLongLong();
}

void StoreFixture::insert(const char* into, const QVariantList& values)
{
    const QString marks = QStringLiteral("?, ").repeated(values.size()).chopped(2);
    QVERIFY(
        exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(QLatin1String(into), marks), values));
}

void StoreFixture::addUser(qint64 userId, const QString& name, const QString& sort, int state)
{
    insert("TTT_USER (user_id, user_name, user_state, user_sort, chatt_allow)",
           {userId, name, state, sort.isNull() ? QStringLiteral("999999") : sort, 1});
}

void StoreFixture::addGroup(qint64 groupId, const QString& name)
{
    insert("TTT_GROUP (group_id, group_name)", {groupId, name});
}

void StoreFixture::addMembership(qint64 groupId, qint64 userId, int state)
{
    insert("TTT_USER_GROUP (group_id, user_id, state, member)", {groupId, userId, state, 0});
}

void StoreFixture::addRoom(const QString& topic, int type, const QString& members,
                           qint64 updateDate)
{
    insert("TTT_CHATT_ROOM (topic, type, members, create_date, update_date)",
           {topic, type, members, updateDate, updateDate});
}

void StoreFixture::addChat(const QString& topic, const QString& msgId, qint64 senderId,
                           qint64 msgTime, int msgState, int msgRead, const QString& content,
                           int msgType, int contentType)
{
    insert("TTT_CHATT (topic, msg_type, content_type, msg_id, sender_id, content, file_path, "
           "msg_time, count, msg_state, msg_read)",
           {topic, msgType, contentType, msgId, senderId, content, QStringLiteral(""), msgTime, 0,
            msgState, msgRead});
}

void StoreFixture::addReader(const QString& topic, const QString& msgId, qint64 readerId,
                             qint64 msgTime)
{
    insert("TTT_CHATT_READER (topic, msg_id, reader_id, msg_time)",
           {topic, msgId, readerId, msgTime});
}
