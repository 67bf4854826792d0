#pragma once

#include <QList>
#include <QPair>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;
class SqlCipherResult;

// The QtSql driver of the store: SQLite with SQLCipher's page encryption, linked into the program
// so that the process holds exactly one SQLite library. A keyed instance turns the connection's
// password into the SQLCipher key; a keyless one opens plain files and stands in for Qt's own
// "QSQLITE" plug-in, which would otherwise load a second SQLite beside this one.
//
// Every connection runs in WAL mode with a busy time-out, so connections of different threads on
// the same file wait for each other instead of failing with "database is locked".
class SqlCipherDriver : public QSqlDriver
{
    Q_OBJECT
public:
    enum class Keying
    {
        Keyed,
        Keyless
    };

    static constexpr const char* kKeyedName = "SQLITECIPHER";
    static constexpr const char* kKeylessName = "QSQLITE";
    static constexpr int kDefaultBusyTimeoutMs = 10000;

    // Why the last open() failed.
    enum class OpenFailure
    {
        None,
        CannotOpen, // the file cannot be opened or made (missing folder, not a file, ...)
        WrongKey,   // the key does not read the file, or the file is no database
        ReadOnly,   // the file or its folder cannot be written
    };

    explicit SqlCipherDriver(Keying keying, QObject* parent = nullptr);
    ~SqlCipherDriver() override;

    // Registers both driver names with QSqlDatabase. Safe to call from any thread, any number of
    // times; only the first call registers.
    static void registerDrivers();

    bool hasFeature(DriverFeature feature) const override;
    bool open(const QString& db, const QString& user, const QString& password, const QString& host,
              int port, const QString& options) override;
    void close() override;
    QSqlResult* createResult() const override;

    bool beginTransaction() override;
    bool commitTransaction() override;
    bool rollbackTransaction() override;

    QStringList tables(QSql::TableType type) const override;
    QSqlRecord record(const QString& tableName) const override;
    QSqlIndex primaryIndex(const QString& tableName) const override;
    QString escapeIdentifier(const QString& identifier, IdentifierType type) const override;
    QVariant handle() const override;

    // Inside a transaction, however it was begun; false once SQLite has rolled it back itself.
    bool isInTransaction() const;
    OpenFailure openFailure() const { return m_openFailure; }

    // For SqlCipherResult.
    sqlite3* connection() const { return m_db; }
    // False, with a critical log line, on any thread but the one that opened the connection: a
    // connection never serves two threads, in every build type.
    bool checkThread(const char* operation) const;
    sqlite3_stmt* takeStatement(const QString& sql) const;
    void recycleStatement(const QString& sql, sqlite3_stmt* stmt) const;
    void attachResult(SqlCipherResult* result) const;
    void detachResult(SqlCipherResult* result) const;
    QSqlError makeError(const QString& text, QSqlError::ErrorType type, int code) const;
    // The field type Qt reports for a column declared with this SQL type.
    static QVariant::Type columnType(const QString& declaredType);

private:
    bool execDirect(const QByteArray& sql, const QString& failure, QSqlError::ErrorType type);
    bool applyKey(const QString& password);
    // Whether a write can go through: a write transaction begun and undone at once.
    int probeWrite();
    // Closes what the failed open left and reports `failure`; the -wal and -shm files that this
    // attempt made are removed, so that they do not stand in the way of the next open.
    bool failOpen(OpenFailure failure, const QString& text, int code);
    void finalizeAll();

    const Keying m_keying;
    sqlite3* m_db = nullptr;
    QThread* m_ownerThread = nullptr;
    QString m_path;
    OpenFailure m_openFailure = OpenFailure::None;
    // The -wal and -shm files that were there before the current open began.
    bool m_hadWal = false;
    bool m_hadShm = false;
    bool m_uriPath = false;
    // Statements of finished queries, newest first, so that a statement run again and again (an
    // insert per received message) is parsed once per connection.
    mutable QList<QPair<QString, sqlite3_stmt*>> m_statementCache;
    mutable QList<SqlCipherResult*> m_results;
};
