#include "store/dbsql.h"

#include "store/dbmanager.h"

#include <QDebug>
#include <QJsonObject>
#include <QJsonValue>
#include <QSqlError>
#include <QSqlQuery>

namespace DBSql {

namespace {
void logFailure(const QSqlQuery& query, const QString& sql, const char* where)
{
    qWarning().noquote().nospace()
        << where << " failed sql:" << sql << " error:" << query.lastError().text();
}
} // namespace

bool hasDb(const DBManager* db, const char* where)
{
    if (!db)
        qWarning().noquote().nospace() << where << " - dbManager is null";
    return db != nullptr;
}

bool prepare(QSqlQuery& query, const QString& sql, const char* where)
{
    if (!query.prepare(sql)) {
        logFailure(query, sql, where);
        return false;
    }
    return true;
}

bool exec(QSqlQuery& query, const char* where)
{
    if (!query.exec()) {
        logFailure(query, query.lastQuery(), where);
        return false;
    }
    return true;
}

bool execInsert(QSqlQuery& query, const char* where, qint64* recordId)
{
    if (!exec(query, where) || query.numRowsAffected() < 1)
        return false;
    if (*recordId <= 0)
        *recordId = query.lastInsertId().toLongLong();
    return true;
}

QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

bool findUserName(DBManager* db, qint64 userId, QString* name)
{
    if (!hasDb(db, "DBSql::findUserName"))
        return false;
    QSqlQuery query(db->database());
    if (!prepare(query, QStringLiteral("SELECT user_name FROM TTT_USER WHERE user_id=?"),
                 "DBSql::findUserName"))
        return false;
    query.addBindValue(userId);
    if (!exec(query, "DBSql::findUserName") || !query.next())
        return false;
    *name = query.value(0).toString();
    return true;
}

bool findGroupName(DBManager* db, qint64 groupId, QString* name)
{
    if (!hasDb(db, "DBSql::findGroupName"))
        return false;
    QSqlQuery query(db->database());
    if (!prepare(query, QStringLiteral("SELECT group_name FROM TTT_GROUP WHERE group_id=?"),
                 "DBSql::findGroupName"))
        return false;
    query.addBindValue(groupId);
    if (!exec(query, "DBSql::findGroupName") || !query.next())
        return false;
    *name = query.value(0).toString();
    return true;
}

QString jsonText(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (value.isString())
        return value.toString();
    if (value.isDouble()) {
        const double number = value.toDouble();
        const qint64 whole = static_cast<qint64>(number);
        return double(whole) == number ? QString::number(whole) : QString::number(number);
    }
    if (value.isBool())
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return QString();
}

qint64 jsonInt(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (value.isDouble())
        return static_cast<qint64>(value.toDouble());
    if (value.isString())
        return value.toString().trimmed().toLongLong();
    return 0;
}

} // namespace DBSql
