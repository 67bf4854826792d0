#pragma once

#include "common/testenv.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariantList>

#include <initializer_list>
#include <memory>

class DBChat;
class DBChatRoom;
class DBGroup;
class DBManager;
class DBUser;
class DBUserGroup;
// The sqlcipher command-line tool, an outside reader of the store's files: runs `script` on
// `file` keyed with `key`; the output lines, and the tool's complaints in `error`.
QStringList sqlcipherTool(const QString& file, const QString& key, const QString& script,
                          QString* error = nullptr);
// The values of a statement on `db`, one text per row (NULL as "NULL"); on failure one value
// "failed: ...", also logged as a warning. Meant for one column: the store's tests compare rows
// of several columns through table(), where a failure names the column. (Several columns are
// still joined with "|" for the tests of other folders that read rows this way.)
QStringList rows(const QSqlDatabase& db, const QString& sql, const QVariantList& values = {});

// One row of a statement, every column by its name (values as text, NULL as "NULL"), so that a
// failed comparison names the column that differs.
struct SqlRow
{
    QList<QPair<QString, QString>> columns;
    bool operator==(const SqlRow& o) const { return columns == o.columns; }
};
char* toString(const SqlRow& row);
// Every row of a statement on `db`; on failure one row with the column "failed".
QList<SqlRow> table(const QSqlDatabase& db, const QString& sql, const QVariantList& values = {});
// Rows to compare with: the same column names for each list of values.
QList<SqlRow> rowsOf(const QStringList& names, const QList<QStringList>& values);

// Records as their fields, compared as wholes.
struct UserFields
{
    qint64 userId = 0;
    QString userName, cellPhone, email, deptName, thumbUrl, imageUrl;
    bool openCellPhone = false, chattAllow = false, appInstall = false;
    int userState = 0;
    QString userSort;
    static UserFields of(const DBUser& u);
    bool operator==(const UserFields& o) const;
};
char* toString(const UserFields& u);

struct GroupFields
{
    qint64 groupId = 0;
    QString groupName;
    int groupType = 0, groupOrder = 0;
    qint64 groupColor = 0;
    QString thumbUrl, imageUrl;
    static GroupFields of(const DBGroup& g);
    bool operator==(const GroupFields& o) const;
};
char* toString(const GroupFields& g);

struct MembershipFields
{
    qint64 groupId = 0, userId = 0;
    int state = 0, member = 0;
    static MembershipFields of(const DBUserGroup& m);
    bool operator==(const MembershipFields& o) const;
};
char* toString(const MembershipFields& m);

struct RoomFields
{
    QString topic;
    int type = 0;
    QString members, roomName;
    qint64 createDate = 0, updateDate = 0;
    static RoomFields of(const DBChatRoom& r);
    bool operator==(const RoomFields& o) const;
};
char* toString(const RoomFields& r);

struct ChatFields
{
    qint64 id = 0;
    QString topic, msgId;
    qint64 senderId = 0;
    QString senderName;
    int msgType = 0, contentType = 0;
    QString content, filePath;
    qint64 msgTime = 0;
    int msgState = 0, count = 0;
    bool msgRead = false;
    static ChatFields of(const DBChat& c);
    bool operator==(const ChatFields& o) const;
};
char* toString(const ChatFields& c);

// One row of the key/value table.
struct KeyValue
{
    int key = 0;
    QString value;
    bool operator==(const KeyValue& o) const { return key == o.key && value == o.value; }
};
char* toString(const KeyValue& row);
// Every row of TTT_MTDATA by key, read on `db`'s connection.
QList<KeyValue> keyValueRows(const QSqlDatabase& db);

// While alive, the process works as an unprivileged user ("nobody"), as a user's session does:
// file modes then bind it, which they never do for root. A process that is not root already is
// bound by them and stays as it is. Groups, real and effective ids change together, so that
// every check the kernel or a library makes sees the same user; the saved id stays root's, so
// that the destructor can return.
class UnprivilegedScope
{
public:
    UnprivilegedScope();
    ~UnprivilegedScope();
    UnprivilegedScope(const UnprivilegedScope&) = delete;
    UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;

    // Whether the process now runs without root's rights.
    bool isUnprivileged() const;

private:
    bool m_dropped = false;
};

// A real encrypted store in a private home, with short ways to put rows in it. Rows go in by
// plain INSERT statements, independent of the record classes under test.
class StoreFixture
{
public:
    explicit StoreFixture(const QString& connectionName = QStringLiteral("Veltri"));
    ~StoreFixture();

    DBManager& db() { return *m_db; }
    QString file() const { return m_env.path(QStringLiteral("veltri_test.db")); }
    // Closes and opens the file again (a later session on the same file).
    void reopen();

    void addUser(qint64 userId, const QString& name, const QString& sort = QString(), int state = 1)
    {
        insert("TTT_USER (user_id, user_name, user_state, user_sort, chatt_allow)",
               {userId, name, state, sort.isNull() ? QStringLiteral("999999") : sort, 1});
    }
    void addGroup(qint64 groupId, const QString& name)
    {
        insert("TTT_GROUP (group_id, group_name)", {groupId, name});
    }
    void addMembership(qint64 groupId, qint64 userId, int state = 1)
    {
        insert("TTT_USER_GROUP (group_id, user_id, state, member)", {groupId, userId, state, 0});
    }
    void addRoom(const QString& topic, int type, const QString& members, qint64 updateDate = 0)
    {
        insert("TTT_CHATT_ROOM (topic, type, members, create_date, update_date)",
               {topic, type, members, updateDate, updateDate});
    }
    void addChat(const QString& topic, const QString& msgId, qint64 senderId, qint64 msgTime,
                 int msgState = 1, int msgRead = 1, const QString& content = QStringLiteral("hi"),
                 int msgType = 1, int contentType = 1)
    {
        insert("TTT_CHATT (topic, msg_type, content_type, msg_id, sender_id, content, file_path, "
               "msg_time, count, msg_state, msg_read)",
               {topic, msgType, contentType, msgId, senderId, content, QString(""), msgTime, 0,
                msgState, msgRead});
    }
    void addReader(const QString& topic, const QString& msgId, qint64 readerId, qint64 msgTime)
    {
        insert("TTT_CHATT_READER (topic, msg_id, reader_id, msg_time)",
               {topic, msgId, readerId, msgTime});
    }

    // Runs a statement with bound values; false (with a test warning) on failure.
    bool exec(const QString& sql, const QVariantList& values = {});
    // The values of a one-column statement on the store's connection, as the free rows() gives
    // them.
    QStringList rows(const QString& sql, const QVariantList& values = {});
    // Every row of a statement on the store's connection, columns by name.
    QList<SqlRow> table(const QString& sql, const QVariantList& values = {});
    // The first column of the first row as an integer, -1 when there is none.
    qint64 number(const QString& sql, const QVariantList& values = {});

private:
    void insert(const char* into, const QVariantList& values);

    TestEnv m_env;
    QString m_connectionName;
    std::unique_ptr<DBManager> m_db;
};
