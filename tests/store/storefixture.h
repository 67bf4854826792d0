#pragma once

#include "common/testenv.h"
#include "common/typed.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariantList>

#include <memory>

class DBManager;

// Rows of a statement, each column as text (NULL as "NULL"); on failure one row "failed".
struct Rows
{
    QList<QStringList> rows;
    MT_TYPED(Rows, rows)
};

// A real encrypted store in a private home; rows go in by plain INSERTs, not the records.
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
    // A trigger refusing one kind of write on `table` where `when` holds, as a full disk would.
    void refuse(const QString& operation, const QString& table, const QString& when)
    {
        exec(QStringLiteral("CREATE TRIGGER \"refuse %1 %2 %3\" BEFORE %1 ON %2 WHEN %3 BEGIN "
                            "SELECT RAISE(ABORT, 'refused on purpose'); END")
                 .arg(operation, table, when));
    }

    // Runs a statement with bound values; false (with a test warning) on failure.
    bool exec(const QString& sql, const QVariantList& values = {});
    Rows table(const QString& sql, const QVariantList& values = {});
    // The rows as typed rows (MT_TYPED), column by column into the listed fields.
    template <typename Row>
    QList<Row> rows(const QString& sql, const QVariantList& values = {})
    {
        QList<Row> out;
        for (const QStringList& cells : table(sql, values).rows) {
            Row row;
            int i = 0;
            const auto fill = [&](auto&... f) {
                ((f = QVariant(cells.value(i++)).value<std::decay_t<decltype(f)>>()), ...);
            };
            std::apply(fill, row.mtFields());
            out << row;
        }
        return out;
    }
    // The first column of every row.
    QStringList column(const QString& sql, const QVariantList& values = {});
    // The first column of the first row as an integer, -1 when there is none.
    qint64 number(const QString& sql, const QVariantList& values = {});

private:
    void insert(const char* into, const QVariantList& values);

    TestEnv m_env;
    QString m_connectionName;
    std::unique_ptr<DBManager> m_db;
};
