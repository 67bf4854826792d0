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

    // For SqlCipherResult.
    sqlite3* connection() const { return m_db; }
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
    void finalizeAll();

    const Keying m_keying;
    sqlite3* m_db = nullptr;
    QThread* m_ownerThread = nullptr;
    QString m_path;
    // Statements of finished queries, newest first, so that a statement run again and again (an
    // insert per received message) is parsed once per connection.
    mutable QList<QPair<QString, sqlite3_stmt*>> m_statementCache;
    mutable QList<SqlCipherResult*> m_results;
};
