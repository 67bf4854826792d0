// The organisation directory: user and group reads, group removal and the own profile row.
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbuser.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QSqlQuery>

namespace {

const char* const kUserColumns =
    "SELECT _id, user_id, user_name, cell_phone, email, dept_name, thumb_url, image_url, "
    "open_cell_phone, chatt_allow, app_install, user_state FROM TTT_USER";

enum class RowLayout
{
    Named,     // columns read by name
    Positional // "SELECT *": the first twelve columns in table order
};

// Runs a user statement with its values bound in order and appends its rows, leaving out
// `skipUserId` when it is not 0. False, with the error on the query, when the statement fails.
bool appendUsers(DBManager* db, QSqlQuery& query, const QString& sql, const QVariantList& values,
                 QList<DBUser>& list, RowLayout layout, qint64 skipUserId = 0)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return false;
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return false;
    while (query.next()) {
        DBUser user(db);
        if (layout == RowLayout::Named)
            user.setFromRecord(query);
        else
            user.setFromTableRow(query);
        if (skipUserId != 0 && user.userId() == skipUserId)
            continue;
        list.append(user);
    }
    return true;
}

void logFailure(const char* where, const QSqlQuery& query)
{
    qWarning().noquote().nospace()
        << where << " failed sql:" << query.lastQuery() << " error:" << query.lastError().text();
}

// An id list for "IN (...)", made of integers only: entries that are not integers are logged and
// left out, so no caller's text ever reaches the statement.
QString integerList(const QStringList& ids, const char* where)
{
    QStringList numbers;
    numbers.reserve(ids.size());
    for (const QString& id : ids) {
        bool ok = false;
        const qint64 number = id.trimmed().toLongLong(&ok);
        if (ok) {
            numbers << QString::number(number);
        } else {
            qWarning().noquote().nospace() << where << " - not a user id:" << id;
        }
    }
    return numbers.join(QLatin1Char(','));
}

} // namespace

int DBManager::userList(QList<DBUser>& list)
{
    list.clear();
    QElapsedTimer clock;
    clock.start();
    QSqlQuery query(m_db);
    if (!appendUsers(this, query, QStringLiteral("SELECT * FROM TTT_USER"), {}, list,
                     RowLayout::Positional))
        logFailure("DBManager::userList", query);
    qDebug().noquote().nospace() << "DBManager::userList DB select timeCheck:" << clock.elapsed();
    return list.size();
}

int DBManager::selectUserList(QList<DBUser>& list, qint64 ownUserId)
{
    const QString sql = QStringLiteral("SELECT * FROM TTT_USER WHERE user_id != ? AND user_state "
                                       "= 1 ORDER BY user_sort ASC, USER_NAME");
    qDebug().noquote().nospace() << "DBManager::selectUserList sql:" << sql
                                 << " user_id:" << ownUserId;
    QSqlQuery query(m_db);
    if (!appendUsers(this, query, sql, {ownUserId}, list, RowLayout::Positional))
        logFailure("DBManager::selectUserList", query);
    return list.size();
}

bool DBManager::visitUserList(qint64 ownUserId, const std::function<void(const DBUser&)>& visit)
{
    // Only what a list of people shows: the sort of a large directory then moves short rows,
    // and each row costs a handful of values instead of the whole record.
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    bool ok = query.prepare(QStringLiteral(
        "SELECT user_id, user_name, dept_name, thumb_url, chatt_allow, app_install FROM TTT_USER "
        "WHERE user_id != ? AND user_state = 1 ORDER BY user_sort ASC, USER_NAME"));
    query.addBindValue(ownUserId);
    ok = ok && query.exec();
    DBUser user(this);
    user.setUserState(1);
    while (ok && query.next()) {
        user.setUserId(query.value(0).toLongLong());
        user.setUserName(query.value(1).toString());
        user.setDeptName(query.value(2).toString());
        user.setThumbUrl(query.value(3).toString());
        user.setChattAllow(query.value(4).toInt() != 0);
        user.setAppInstall(query.value(5).toInt() != 0);
        visit(user);
    }
    ok = ok && !query.lastError().isValid();
    if (!ok)
        logFailure("DBManager::visitUserList", query);
    return ok;
}

int DBManager::selectUserListLimit(QList<DBUser>& list, qint64 ownUserId, int limit, int offset)
{
    const QString sql = QStringLiteral("SELECT * FROM TTT_USER WHERE user_id != ? AND user_state "
                                       "= 1 ORDER BY USER_NAME LIMIT ? OFFSET ?");
    qDebug().noquote().nospace() << "DBManager::selectUserListLimit sql:" << sql
                                 << " user_id:" << ownUserId << " limit:" << limit
                                 << " offset:" << offset;
    QSqlQuery query(m_db);
    if (!appendUsers(this, query, sql, {ownUserId, limit, offset}, list, RowLayout::Positional))
        logFailure("DBManager::selectUserListLimit", query);
    return list.size();
}

int DBManager::searchUserList(QList<DBUser>& list, qint64 ownUserId, const QString& text, int limit,
                              int offset)
{
    list.clear();
    const QString sql = QStringLiteral(
        "SELECT * FROM TTT_USER WHERE user_id != ? AND user_state = 1 AND user_name LIKE ? "
        "ESCAPE '\\' ORDER BY user_sort ASC, USER_NAME LIMIT ? OFFSET ?");
    const QString pattern = containsPattern(text);
    qDebug().noquote().nospace() << "DBManager::searchUserList sql:" << sql
                                 << " user_id:" << ownUserId << " pattern:" << pattern
                                 << " limit:" << limit << " offset:" << offset;
    QSqlQuery query(m_db);
    if (!appendUsers(this, query, sql, {ownUserId, pattern, limit, offset}, list,
                     RowLayout::Positional))
        logFailure("DBManager::searchUserList", query);
    return list.size();
}

int DBManager::users(QList<DBUser>& list, const QStringList& userIds)
{
    const QString ids = integerList(userIds, "DBManager::users");
    if (ids.isEmpty())
        return list.size();
    QSqlQuery query(m_db);
    if (!appendUsers(this, query,
                     QLatin1String(kUserColumns) + QStringLiteral(" WHERE user_id IN (") + ids +
                         QStringLiteral(") ORDER BY user_sort ASC, user_name DESC"),
                     {}, list, RowLayout::Named))
        qWarning().noquote().nospace() << "DBManager::users lastError:" << query.lastError().text();
    return list.size();
}

int DBManager::usersWithoutChattallow(QList<DBUser>& list, const QStringList& userIds)
{
    const QString ids = integerList(userIds, "DBManager::usersWithoutChattallow");
    const QString sql = QLatin1String(kUserColumns) + QStringLiteral(" WHERE user_id IN (") + ids +
                        QStringLiteral(") ORDER BY user_sort ASC, user_name DESC");
    qDebug().noquote().nospace() << "DBManager::usersWithoutChattallow"
                                 << " ids:" << ids << " sql:" << sql;
    if (ids.isEmpty())
        return list.size();
    QSqlQuery query(m_db);
    if (!appendUsers(this, query, sql, {}, list, RowLayout::Named)) {
        qWarning().noquote().nospace()
            << "DBManager::usersWithoutChattallow lastError:" << query.lastError().text();
    }
    return list.size();
}

int DBManager::groupUserList(QList<DBUser>& list, qint64 groupId, qint64 leaveOutUserId)
{
    const QString sql = QStringLiteral(
        "SELECT U._id, U.user_id, user_name, cell_phone, email, dept_name, thumb_url, image_url, "
        "open_cell_phone, chatt_allow, app_install, user_state FROM TTT_USER U INNER JOIN "
        "TTT_USER_GROUP G ON(U.user_id=G.user_id) WHERE group_id=? AND G.state=? AND "
        "user_state=? ORDER BY user_sort ASC, user_name ASC");
    QSqlQuery query(m_db);
    // Read by position: the joined row names its first two columns "U._id" and "U.user_id".
    if (!appendUsers(this, query, sql, {groupId, QStringLiteral("1"), QStringLiteral("1")}, list,
                     RowLayout::Positional, leaveOutUserId))
        logFailure("DBManager::groupUserList", query);
    return list.size();
}

int DBManager::groupList(QList<DBGroup>& list)
{
    list.clear();
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT * FROM TTT_GROUP")) || !query.exec()) {
        logFailure("DBManager::groupList", query);
        return list.size();
    }
    while (query.next()) {
        DBGroup group(this);
        group.setFromRecord(query);
        list.append(group);
    }
    return list.size();
}

bool DBManager::findUser(qint64 userId, DBUser& user)
{
    QSqlQuery* query =
        DBSql::prepared(this, QLatin1String(kUserColumns) + QStringLiteral(" WHERE user_id=?"),
                        "DBManager::findUser");
    if (!query)
        return false;
    query->addBindValue(userId);
    const bool found = DBSql::exec(*query, "DBManager::findUser") && query->next();
    if (found) {
        user.setDbManager(this);
        user.setFromRecord(*query);
    }
    query->finish();
    return found;
}

DBUser DBManager::selectUserByUserId(qint64 userId)
{
    const QString sql = QStringLiteral("SELECT * FROM TTT_USER WHERE user_id =?");
    qDebug().noquote().nospace() << "DBManager::selectUserByUserId sql:" << sql
                                 << " user_id:" << userId;
    DBUser user(this);
    QSqlQuery* query = DBSql::prepared(this, sql, "DBManager::selectUserByUserId");
    if (!query)
        return user;
    query->addBindValue(userId);
    if (DBSql::exec(*query, "DBManager::selectUserByUserId") && query->next())
        user.setFromTableRow(*query);
    query->finish();
    return user;
}

bool DBManager::findGroup(qint64 groupId, DBGroup& group)
{
    QSqlQuery* query = DBSql::prepared(
        this,
        QStringLiteral("SELECT _id, group_id, group_name, group_type, group_order, group_color, "
                       "thumb_url, image_url FROM TTT_GROUP WHERE group_id=?"),
        "DBManager::findGroup");
    if (!query)
        return false;
    query->addBindValue(groupId);
    const bool found = DBSql::exec(*query, "DBManager::findGroup") && query->next();
    if (found) {
        group.setDbManager(this);
        group.setFromRecord(*query);
    }
    query->finish();
    return found;
}

bool DBManager::deleteGroup(qint64 groupId)
{
    const bool transaction = m_db.transaction();
    const auto finish = [this, transaction](bool result) {
        if (transaction && !m_db.commit()) {
            qWarning().noquote().nospace()
                << "DBManager::deleteGroup commit failed error:" << m_db.lastError().text();
            m_db.rollback();
            return false;
        }
        return result;
    };
    DBGroup group(this);
    group.setGroupId(groupId);
    if (!group.remove()) {
        qWarning().noquote().nospace() << "DBManager::deleteGroup failed to remove group";
        return finish(false);
    }
    QSqlQuery* members =
        DBSql::prepared(this, QStringLiteral("DELETE FROM TTT_USER_GROUP WHERE group_id=?"),
                        "DBManager::deleteGroup");
    bool removed = false;
    if (members) {
        members->addBindValue(groupId);
        removed = DBSql::exec(*members, "DBManager::deleteGroup");
    }
    if (!removed)
        qWarning().noquote().nospace() << "DBManager::deleteGroup failed to remove group users";
    return finish(removed);
}

bool DBManager::updateMyProfile(const QJsonObject& profile)
{
    using DBSql::jsonInt;
    using DBSql::jsonText;
    const QString sql = QStringLiteral(
        "UPDATE TTT_USER SET user_name=?,cell_phone=?,email=?,dept_name=?, thumb_url=?, "
        "image_url=?, open_cell_phone=?, chatt_allow=?, app_install=?, user_state=? WHERE "
        "user_id =?");
    const qint64 userId = jsonInt(profile, QStringLiteral("userId"));
    QSqlQuery query(m_db);
    const bool prepared = query.prepare(sql);
    if (prepared) {
        query.addBindValue(DBSql::text(jsonText(profile, QStringLiteral("userName"))));
        query.addBindValue(DBSql::text(jsonText(profile, QStringLiteral("tel"))));
        query.addBindValue(DBSql::text(jsonText(profile, QStringLiteral("email"))));
        query.addBindValue(DBSql::text(jsonText(profile, QStringLiteral("deptName"))));
        query.addBindValue(DBSql::text(jsonText(profile, QStringLiteral("thumbUrl"))));
        query.addBindValue(DBSql::text(jsonText(profile, QStringLiteral("imageUrl"))));
        query.addBindValue(jsonInt(profile, QStringLiteral("telOpenYn")));
        query.addBindValue(jsonInt(profile, QStringLiteral("chattingAllowYn")));
        query.addBindValue(jsonInt(profile, QStringLiteral("appInstallYn")));
        // The own row stays active.
        query.addBindValue(1);
        query.addBindValue(userId);
    }
    qDebug().noquote().nospace() << "DBManager::updateMyProfile sql:" << sql
                                 << " user_id:" << userId;
    if (!prepared || !query.exec()) {
        qWarning().noquote().nospace() << "DBManager::updateMyProfile error sql:" << sql;
        qWarning().noquote().nospace()
            << "DBManager::updateMyProfile error sql:" << query.lastError().text();
        return false;
    }
    return true;
}

bool DBManager::removeMyProfilePicture(qint64 userId)
{
    const QString sql =
        QStringLiteral("UPDATE TTT_USER SET thumb_url=NULL, image_url=NULL WHERE user_id =?");
    qDebug().noquote().nospace() << "DBManager::removeMyProfilePicture sql:" << sql
                                 << " user_id:" << userId;
    QSqlQuery query(m_db);
    bool ok = query.prepare(sql);
    if (ok) {
        query.addBindValue(userId);
        ok = query.exec();
    }
    if (!ok) {
        qWarning().noquote().nospace() << "DBManager::removeMyProfilePicture error sql:" << sql
                                       << " error:" << query.lastError().text();
        return false;
    }
    return true;
}
