#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

class QThread;

// One named connection onto a user's encrypted database file. Construction opens the file and
// creates what is missing of the schema; destruction closes the connection. The manager and its
// connection belong to the thread that constructed it: every statement on it, including those of
// records that borrow it, must run on that thread (a second thread opens its own manager under
// its own connection name).
//
// Operations are grouped by concern: opening and the schema here (dbmanager.cpp); chats, rooms
// and readers, and the directory, in files of their own.
class DBManager
{
public:
    // The password every part of the program opens the database with.
    static constexpr const char* kPassword = "dravik_!!!";
    // Connection names, one per thread that works on the file.
    static constexpr const char* kConnection = "Veltri";
    static constexpr const char* kConnectionMqtt = "Veltri_mqtt";
    static constexpr const char* kConnectionCache = "Veltri_cache";
    static constexpr const char* kConnectionChatRooms = "Veltri_chatrooms";

    DBManager(const QString& dbPath, const QString& connectionName, const QString& password,
              int dbVersion);
    ~DBManager();
    DBManager(const DBManager&) = delete;
    DBManager& operator=(const DBManager&) = delete;

    // The file of a user's database: "veltri_<userId>.db" in the application data folder, which
    // is created when missing.
    static QString databaseFilePath(const QString& userId);

    bool open(const QString& dbPath, const QString& connectionName, const QString& password);
    void createDBTable();
    void onUpdateDBTable(int newVersion);

    bool isOpen() const { return m_db.isOpen(); }
    QSqlDatabase& database() { return m_db; }
    QString dbPath() const { return m_dbPath; }
    QString connectionName() const { return m_connectionName; }
    int dbVersion() const { return m_dbVersion; }
    // The thread that owns the connection.
    QThread* thread() const { return m_thread; }
    // A query prepared once on this connection and kept for the manager's life, for the
    // statements that run again and again (record writes, look-ups): each run then skips
    // building a query and preparing it. For fixed statement texts only (values are bound), as
    // every text stays prepared. The caller binds and executes it, and finishes a SELECT after
    // reading. Null, with `error` set, when the statement cannot be prepared.
    QSqlQuery* preparedQuery(const QString& sql, QSqlError* error = nullptr);

private:
    bool execSchemaStatement(const QString& sql);
    void release();

    QString m_dbPath;
    QSqlDatabase m_db;
    QString m_connectionName;
    int m_dbVersion = 0;
    QThread* m_thread = nullptr;
    QHash<QString, QSqlQuery> m_prepared;
};
