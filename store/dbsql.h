#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

class DBManager;
class QJsonObject;
class QJsonValue;
class QSqlQuery;

// Small helpers the records and DBManager share: statement execution with the store's error
// logging, value binding, the directory look-ups that display names need, and JSON reading.
namespace DBSql {

// False, with a warning, for a record that has no DBManager to run its statement on.
bool hasDb(const DBManager* db, const char* where);
// The manager's kept query for `sql` (DBManager::preparedQuery), or null after logging
// "<where> failed sql:<statement> error:<text>" (or that there is no manager).
QSqlQuery* prepared(DBManager* db, const QString& sql, const char* where);
// Prepares `sql` on the query's connection. On failure logs "<where> failed sql:<statement>
// error:<text>" and returns false.
bool prepare(QSqlQuery& query, const QString& sql, const char* where);
// Executes a prepared query, logging a failure like prepare().
bool exec(QSqlQuery& query, const char* where);
// Executes a prepared INSERT: true only when it ran and changed a row; then a record id of 0 or
// less (never stored) becomes the new row's id.
bool execInsert(QSqlQuery& query, const char* where, qint64* recordId);
// The second half of execInsert(), for an INSERT that the caller executed itself.
bool insertResult(const QSqlQuery& query, qint64* recordId);
// Logs a failed statement like exec() does.
void logFailure(const QSqlQuery& query, const char* where);
// A text to bind. Qt binds a null QString as SQL NULL; the store keeps empty texts as ''.
QVariant text(const QString& value);
// A flag to bind, as the store keeps flags: 1 or 0.
inline int flag(bool on)
{
    return on ? 1 : 0;
}

// TTT_USER.user_name of a user; false when the user is not stored or the statement fails.
bool findUserName(DBManager* db, qint64 userId, QString* name);
// The names of those of `ids` the directory holds, by id, read a few hundred ids per statement:
// a room list names thousands of members, and a statement per name was most of its reading.
// Those missing (also when a statement fails, logged) are left out, as findUserName() finds
// none.
QHash<qint64, QString> userNames(DBManager* db, const QSet<qint64>& userIds);
QHash<qint64, QString> groupNames(DBManager* db, const QSet<qint64>& groupIds);

// A JSON member as text: strings as they are, numbers in decimal, absent members empty.
QString jsonText(const QJsonObject& object, const QString& key);
// A JSON value as an integer: whole-number parts of numbers within 64 bits, or texts holding a
// decimal number; 0 otherwise (numbers out of range included: server and peer JSON is input).
qint64 jsonInt(const QJsonValue& value);
qint64 jsonInt(const QJsonObject& object, const QString& key);

} // namespace DBSql
