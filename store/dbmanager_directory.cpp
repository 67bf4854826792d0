// The organisation directory: user and group reads, group removal and the own profile row.
#include "store/dbdirectoryrow.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbuser.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QSqlDriver>
#include <QSqlQuery>

#include <sqlite3.h>

#include <algorithm>
#include <string_view>
#include <vector>

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

// The order of "ORDER BY user_sort ASC, user_name" for rows read without it: by storage class
// (NULL first, then text, then blob; both columns have text affinity, so numbers are stored as
// text), then byte by byte as the BINARY collation compares, the shorter of two texts that agree
// first. Each row's first bytes sit in the sorted entries themselves, so that most comparisons
// never leave them for the texts.
class DirectoryOrder
{
public:
    void add(int sortType, std::string_view sort, int nameType, std::string_view name)
    {
        Entry e;
        e.row = m_entries.size();
        e.sortHead = head(sortType, sort);
        e.sortSize = quint32(sort.size());
        e.nameHead = head(nameType, name);
        e.nameSize = quint32(name.size());
        m_textAt.push_back(m_texts.size());
        if (sort.size() > kHeadBytes)
            m_texts.append(sort.data(), int(sort.size()));
        m_textAt.push_back(m_texts.size());
        if (name.size() > kHeadBytes)
            m_texts.append(name.data(), int(name.size()));
        m_entries.push_back(e);
    }

    // The rows' numbers (in the order added) as the statement with ORDER BY lists them; rows
    // that tie keep the order they were added in.
    QVector<int> order()
    {
        std::sort(m_entries.begin(), m_entries.end(), [this](const Entry& a, const Entry& b) {
            if (const int c =
                    compare(a.sortHead, a.sortSize, b.sortHead, b.sortSize, a.row * 2, b.row * 2))
                return c < 0;
            if (const int c = compare(a.nameHead, a.nameSize, b.nameHead, b.nameSize, a.row * 2 + 1,
                                      b.row * 2 + 1))
                return c < 0;
            return a.row < b.row;
        });
        QVector<int> rows;
        rows.reserve(int(m_entries.size()));
        for (const Entry& e : m_entries)
            rows.append(e.row);
        return rows;
    }

private:
    static constexpr size_t kHeadBytes = 7;
    struct Entry
    {
        quint64 sortHead = 0;
        quint64 nameHead = 0;
        quint32 sortSize = 0;
        quint32 nameSize = 0;
        int row = 0;
    };

    // The storage class in the highest byte, then the first bytes, high to low (missing bytes
    // 0): heads that differ order their texts the way the whole texts order.
    static quint64 head(int type, std::string_view text)
    {
        const quint64 storageClass = type == SQLITE_NULL ? 0 : type == SQLITE_BLOB ? 2 : 1;
        quint64 h = storageClass << 56;
        for (size_t i = 0; i < kHeadBytes && i < text.size(); ++i)
            h |= quint64(uchar(text[i])) << (8 * (kHeadBytes - 1 - i));
        return h;
    }

    // The text at `slot`, stored only when longer than its head.
    std::string_view text(int slot, quint32 size) const
    {
        return {m_texts.constData() + m_textAt[size_t(slot)], size};
    }

    int compare(quint64 headA, quint32 sizeA, quint64 headB, quint32 sizeB, int slotA,
                int slotB) const
    {
        if (headA != headB)
            return headA < headB ? -1 : 1;
        // The same class and the same first bytes: texts no longer than those differ only in
        // size; otherwise the rest decides.
        if (sizeA <= kHeadBytes || sizeB <= kHeadBytes)
            return sizeA == sizeB ? 0 : sizeA < sizeB ? -1 : 1;
        return text(slotA, sizeA).compare(text(slotB, sizeB));
    }

    std::vector<Entry> m_entries;
    QByteArray m_texts;
    std::vector<int> m_textAt; // two per row: user_sort, then user_name
};

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

bool DBManager::visitDirectory(qint64 ownUserId,
                               const std::function<void(const DBDirectoryRow&)>& visit,
                               QVector<int>& order)
{
    // Read from the statement itself rather than through QSqlQuery, which makes a QVariant and a
    // QString of every column of every row; and in the table's order, sorted here afterwards:
    // SQLite's sorter spent most of a large directory's read chasing its records in memory.
    static const char sql[] = "SELECT user_id, user_name, dept_name, thumb_url, chatt_allow, "
                              "app_install, user_sort FROM TTT_USER "
                              "WHERE user_id != ? AND user_state = 1";
    sqlite3* handle =
        m_db.isOpen() ? static_cast<sqlite3*>(m_db.driver()->handle().value<void*>()) : nullptr;
    sqlite3_stmt* statement = nullptr;
    int rc = handle ? sqlite3_prepare_v2(handle, sql, -1, &statement, nullptr) : SQLITE_MISUSE;
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int64(statement, 1, ownUserId);
    const auto text = [&](int column) {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        return data ? std::string_view(data, size_t(sqlite3_column_bytes(statement, column)))
                    : std::string_view();
    };
    DirectoryOrder listing;
    DBDirectoryRow row;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(statement);
        if (rc != SQLITE_ROW)
            break;
        // The storage classes first: reading a column as text would turn a NULL into ''.
        const int sortType = sqlite3_column_type(statement, 6);
        const int nameType = sqlite3_column_type(statement, 1);
        row.userId = sqlite3_column_int64(statement, 0);
        row.userName = text(1);
        row.deptName = text(2);
        row.thumbUrl = text(3);
        row.chattAllow = sqlite3_column_int(statement, 4) != 0;
        row.appInstall = sqlite3_column_int(statement, 5) != 0;
        listing.add(sortType, text(6), nameType, row.userName);
        visit(row);
    }
    const bool ok = rc == SQLITE_DONE;
    if (!ok) {
        qWarning().noquote().nospace()
            << "DBManager::visitDirectory failed sql:" << sql
            << " error:" << (handle ? sqlite3_errmsg(handle) : "the store is not open");
    }
    sqlite3_finalize(statement);
    order = ok ? listing.order() : QVector<int>();
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
