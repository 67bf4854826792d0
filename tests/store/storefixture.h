#pragma once

#include "common/testenv.h"

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <initializer_list>
#include <memory>

class DBManager;

// Values as one text with "|" between them, flags as 1 or 0: a record compared in one line.
QString fields(std::initializer_list<QVariant> values);

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

    void addUser(qint64 userId, const QString& name, const QString& sort = QString(),
                 int state = 1);
    void addGroup(qint64 groupId, const QString& name);
    void addMembership(qint64 groupId, qint64 userId, int state = 1);
    void addRoom(const QString& topic, int type, const QString& members, qint64 updateDate = 0);
    void addChat(const QString& topic, const QString& msgId, qint64 senderId, qint64 msgTime,
                 int msgState = 1, int msgRead = 1, const QString& content = QStringLiteral("hi"),
                 int msgType = 1, int contentType = 1);
    void addReader(const QString& topic, const QString& msgId, qint64 readerId, qint64 msgTime);

    // Runs a statement with bound values; false (with a test warning) on failure.
    bool exec(const QString& sql, const QVariantList& values = {});
    // Every row of a statement, each row's columns joined with "|" (NULL as "NULL").
    QStringList rows(const QString& sql, const QVariantList& values = {});
    // The first column of the first row as an integer, -1 when there is none.
    qint64 number(const QString& sql, const QVariantList& values = {});

private:
    QSqlQuery run(const QString& sql, const QVariantList& values, QString* error);
    void insert(const char* into, const QVariantList& values);

    TestEnv m_env;
    QString m_connectionName;
    std::unique_ptr<DBManager> m_db;
};
