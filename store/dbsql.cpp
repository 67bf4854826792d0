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

QSqlQuery* prepared(DBManager* db, const QString& sql, const char* where)
{
    if (!hasDb(db, where))
        return nullptr;
    QSqlError error;
    QSqlQuery* query = db->preparedQuery(sql, &error);
    if (!query) {
        qWarning().noquote().nospace()
            << where << " failed sql:" << sql << " error:" << error.text();
    }
    return query;
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
    return exec(query, where) && insertResult(query, recordId);
}

bool insertResult(const QSqlQuery& query, qint64* recordId)
{
    if (query.numRowsAffected() < 1)
        return false;
    if (*recordId <= 0)
        *recordId = query.lastInsertId().toLongLong();
    return true;
}

void logFailure(const QSqlQuery& query, const char* where)
{
    logFailure(query, query.lastQuery(), where);
}

QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

namespace {
// The first column of a one-value look-up, run on the manager's kept query.
bool lookUp(DBManager* db, const QString& sql, qint64 key, QString* value, const char* where)
{
    QSqlQuery* query = prepared(db, sql, where);
    if (!query)
        return false;
    query->addBindValue(key);
    const bool found = exec(*query, where) && query->next();
    if (found)
        *value = query->value(0).toString();
    // A kept query must not hold its read snapshot open.
    query->finish();
    return found;
}
} // namespace

bool findUserName(DBManager* db, qint64 userId, QString* name)
{
    return lookUp(db, QStringLiteral("SELECT user_name FROM TTT_USER WHERE user_id=?"), userId,
                  name, "DBSql::findUserName");
}

namespace {
// Statements of these sizes are kept; a shorter list of ids takes the smallest that holds it,
// its last id repeated in the places left.
constexpr int kIdsPerStatement[] = {1, 16, 512};

QHash<qint64, QString> namesOf(DBManager* db, const char* table, const char* idColumn,
                               const char* nameColumn, const QSet<qint64>& ids, const char* where)
{
    QHash<qint64, QString> names;
    const QList<qint64> list = ids.values();
    for (int from = 0; from < list.size();) {
        const int left = list.size() - from;
        int size = 0;
        for (const int candidate : kIdsPerStatement) {
            size = candidate;
            if (candidate >= left)
                break;
        }
        QString places = QStringLiteral("?");
        places += QStringLiteral(",?").repeated(size - 1);
        const QString sql = QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 IN (%4)")
                                .arg(QLatin1String(idColumn), QLatin1String(nameColumn),
                                     QLatin1String(table), places);
        QSqlQuery* query = prepared(db, sql, where);
        if (!query)
            return names;
        for (int i = 0; i < size; ++i)
            query->bindValue(i, list.at(qMin(from + i, list.size() - 1)));
        const bool ran = exec(*query, where);
        while (ran && query->next())
            names.insert(query->value(0).toLongLong(), query->value(1).toString());
        // A kept query must not hold its read snapshot open.
        query->finish();
        if (!ran)
            return names;
        from += size;
    }
    return names;
}
} // namespace

QHash<qint64, QString> userNames(DBManager* db, const QSet<qint64>& userIds)
{
    return namesOf(db, "TTT_USER", "user_id", "user_name", userIds, "DBSql::userNames");
}

QHash<qint64, QString> groupNames(DBManager* db, const QSet<qint64>& groupIds)
{
    return namesOf(db, "TTT_GROUP", "group_id", "group_name", groupIds, "DBSql::groupNames");
}

namespace {
// Whether a JSON number converts to qint64 without leaving its range (a conversion that does is
// undefined behaviour); both bounds are powers of two, exact as doubles.
bool fitsInt64(double number)
{
    return number >= -9223372036854775808.0 && number < 9223372036854775808.0;
}
} // namespace

QString jsonText(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (value.isString())
        return value.toString();
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (fitsInt64(number) && double(qint64(number)) == number)
            return QString::number(qint64(number));
        return QString::number(number);
    }
    if (value.isBool())
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return QString();
}

qint64 jsonInt(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        return fitsInt64(number) ? qint64(number) : 0;
    }
    if (value.isString())
        return value.toString().trimmed().toLongLong();
    return 0;
}

qint64 jsonInt(const QJsonObject& object, const QString& key)
{
    return jsonInt(object.value(key));
}

} // namespace DBSql
