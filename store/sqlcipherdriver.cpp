#include "store/sqlcipherdriver.h"

#include "store/sqlcipherkeys.h"
#include "store/sqlcipherresult.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriverCreatorBase>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <mutex>

namespace {

constexpr int kStatementCacheSize = 32;

class CipherDriverCreator : public QSqlDriverCreatorBase
{
public:
    explicit CipherDriverCreator(SqlCipherDriver::Keying keying) : m_keying(keying) {}
    QSqlDriver* createObject() const override { return new SqlCipherDriver(m_keying); }

private:
    const SqlCipherDriver::Keying m_keying;
};

// The first column of the first row of a statement run on its own, or a null string; `rc` gets
// SQLite's result.
QString firstValue(sqlite3* db, const char* sql, int* rc)
{
    sqlite3_stmt* stmt = nullptr;
    QString value;
    *rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (*rc == SQLITE_OK) {
        *rc = sqlite3_step(stmt);
        if (*rc == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            value = QString::fromUtf8(text ? text : "");
            *rc = SQLITE_OK;
        } else if (*rc == SQLITE_DONE) {
            *rc = SQLITE_OK;
        } else {
            *rc = sqlite3_errcode(db);
        }
    }
    sqlite3_finalize(stmt);
    return value;
}

// Results that say the file, its folder or a -wal/-shm beside it refuses writes.
bool refusesWrites(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        return true;
    default:
        return false;
    }
}

QVariant::Type typeOfDeclaration(const QString& declared)
{
    const QString decl = declared.toUpper();
    if (decl.contains(QLatin1String("INT")))
        return QVariant::LongLong;
    if (decl.contains(QLatin1String("REAL")) || decl.contains(QLatin1String("FLOA")) ||
        decl.contains(QLatin1String("DOUB")))
        return QVariant::Double;
    if (decl.contains(QLatin1String("BLOB")))
        return QVariant::ByteArray;
    if (decl.contains(QLatin1String("BOOL")))
        return QVariant::Bool;
    return QVariant::String;
}

} // namespace

SqlCipherDriver::SqlCipherDriver(Keying keying, QObject* parent)
    : QSqlDriver(parent), m_keying(keying)
{}

SqlCipherDriver::~SqlCipherDriver()
{
    // The last owner of the connection is going: whatever thread that is, the statements and
    // the SQLite connection go with it rather than leak.
    checkThread("~SqlCipherDriver");
    finalizeAll();
}

void SqlCipherDriver::registerDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QSqlDatabase::registerSqlDriver(QString::fromLatin1(kKeyedName),
                                        new CipherDriverCreator(Keying::Keyed));
        QSqlDatabase::registerSqlDriver(QString::fromLatin1(kKeylessName),
                                        new CipherDriverCreator(Keying::Keyless));
    });
}

bool SqlCipherDriver::hasFeature(DriverFeature feature) const
{
    switch (feature) {
    case Transactions:
    case BLOB:
    case Unicode:
    case PreparedQueries:
    case PositionalPlaceholders:
    case LastInsertId:
    case SimpleLocking:
    case FinishQuery:
    case LowPrecisionNumbers:
        return true;
    case QuerySize:
    // Qt turns ":name" into "?" before prepare() and keeps the name-to-position map itself.
    case NamedPlaceholders:
    case BatchOperations:
    case EventNotifications:
    case MultipleResultSets:
    case CancelQuery:
        return false;
    }
    return false;
}

bool SqlCipherDriver::open(const QString& db, const QString& user, const QString& password,
                           const QString& host, int port, const QString& options)
{
    Q_UNUSED(user);
    Q_UNUSED(host);
    Q_UNUSED(port);
    if (isOpen())
        close();

    int busyTimeout = kDefaultBusyTimeoutMs;
    bool readOnly = false;
    int uriFlag = 0;
    for (const QString& raw : options.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString option = raw.trimmed();
        if (option.startsWith(QLatin1String("QSQLITE_BUSY_TIMEOUT="))) {
            bool ok = false;
            const int value = option.mid(option.indexOf(QLatin1Char('=')) + 1).toInt(&ok);
            if (ok && value >= 0)
                busyTimeout = value;
        } else if (option == QLatin1String("QSQLITE_OPEN_READONLY")) {
            readOnly = true;
        } else if (option == QLatin1String("QSQLITE_OPEN_URI")) {
            uriFlag = SQLITE_OPEN_URI;
        } else if (option == QLatin1String("QSQLITE_ENABLE_SHARED_CACHE") ||
                   option == QLatin1String("QSQLITE_ENABLE_SHARED_CACHE=1")) {
            // Accepted and deliberately not applied. A shared cache puts the connections of one
            // process under table-level locks that fail at once with SQLITE_LOCKED, which no
            // busy time-out waits for. Separate connections in WAL mode let readers run beside
            // the one writer and make writers wait for each other, which is what several
            // threads on one file need.
        } else {
            qWarning().noquote().nospace()
                << "SqlCipherDriver::open unknown connect option:" << option;
        }
    }

    // The key takes a new file's salt from the file, or a random one when the file is still
    // empty. Two connections keying a new file at the same moment would each make their own,
    // and the one that writes second could never read the file again. So the connections of
    // this process open one after the other: by the time the next one sets its key, the first
    // has written the header (the WAL switch below writes page 1).
    static std::mutex openMutex;
    std::lock_guard<std::mutex> openLock(openMutex);

    m_path = db;
    m_openFailure = OpenFailure::None;
    m_uriPath = uriFlag != 0;
    m_hadWal = QFileInfo::exists(db + QLatin1String("-wal"));
    m_hadShm = QFileInfo::exists(db + QLatin1String("-shm"));
    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | uriFlag;
    const QByteArray path = db.toUtf8();
    int rc = sqlite3_open_v2(path.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK)
        return failOpen(OpenFailure::CannotOpen, QStringLiteral("Error opening database"), rc);
    // SQLite opens a file it may not write read-only without a word, and the first read of a
    // WAL file would then leave -wal and -shm files behind that nobody can write. Asked before
    // that read, the answer costs nothing.
    if (!readOnly && sqlite3_db_readonly(m_db, "main") == 1) {
        return failOpen(OpenFailure::ReadOnly,
                        QStringLiteral("The database file cannot be written"), SQLITE_READONLY);
    }
    sqlite3_busy_timeout(m_db, busyTimeout);

    // The key must be the connection's first statement; reading the schema then proves it, so a
    // wrong key fails here and not at some later query.
    if (m_keying == Keying::Keyed && !password.isEmpty() && !applyKey(password)) {
        return failOpen(OpenFailure::CannotOpen, QStringLiteral("Error setting the database key"),
                        sqlite3_errcode(m_db));
    }
    rc = sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr);
    if (rc == SQLITE_NOTADB) {
        return failOpen(OpenFailure::WrongKey,
                        QStringLiteral("Cannot read the database: wrong key or not a database"),
                        rc);
    }
    if (rc != SQLITE_OK) {
        // The file opened, so a file SQLite cannot open now is a -wal or -shm it cannot make.
        return failOpen(refusesWrites(rc) ? OpenFailure::ReadOnly : OpenFailure::CannotOpen,
                        QStringLiteral("Cannot read the database"), rc);
    }
    if (!readOnly) {
        const QString mode = firstValue(m_db, "PRAGMA journal_mode=WAL;", &rc);
        if (refusesWrites(rc)) {
            return failOpen(OpenFailure::ReadOnly, QStringLiteral("The database cannot be written"),
                            rc);
        }
        if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
            qWarning().noquote().nospace()
                << "SqlCipherDriver::open journal mode stays " << mode << " for " << db;
        }
        sqlite3_exec(m_db, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
        rc = probeWrite();
        sqlite3_busy_timeout(m_db, busyTimeout);
        if (refusesWrites(rc)) {
            return failOpen(OpenFailure::ReadOnly, QStringLiteral("The database cannot be written"),
                            rc);
        }
    }

    m_ownerThread = QThread::currentThread();
    setOpen(true);
    setOpenError(false);
    return true;
}

bool SqlCipherDriver::applyKey(const QString& password)
{
    // Without a derived key (its derivation failed) SQLCipher derives it from the passphrase.
    QByteArray raw = SqlCipherKeys::pragmaValue(m_db, m_path, password);
    QString quoted = password;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    QByteArray sql = raw.isEmpty() ? QByteArrayLiteral("PRAGMA key = '") + quoted.toUtf8() + "';"
                                   : QByteArrayLiteral("PRAGMA key = \"") + raw + "\";";
    const int rc = sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr);
    // Keep the key out of freed heap memory.
    sql.fill('\0');
    raw.fill('\0');
    quoted.fill(QLatin1Char('\0'));
    return rc == SQLITE_OK;
}

int SqlCipherDriver::probeWrite()
{
    // No waiting here: opens are serialised, and another connection holding the write lock
    // proves the file writable anyway.
    sqlite3_busy_timeout(m_db, 0);
    const int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        sqlite3_exec(m_db, "ROLLBACK;", nullptr, nullptr, nullptr);
    return rc;
}

bool SqlCipherDriver::failOpen(OpenFailure failure, const QString& text, int code)
{
    setLastError(makeError(text, QSqlError::ConnectionError, code));
    finalizeAll();
    m_openFailure = failure;
    if (!m_uriPath) {
        // A -wal that this attempt made holds nothing (no write went through), and no other
        // connection of the process uses either file: they did not exist when it began.
        const QString wal = m_path + QLatin1String("-wal");
        if (!m_hadWal && QFileInfo(wal).exists() && QFileInfo(wal).size() == 0)
            QFile::remove(wal);
        if (!m_hadShm)
            QFile::remove(m_path + QLatin1String("-shm"));
    }
    setOpenError(true);
    return false;
}

void SqlCipherDriver::finalizeAll()
{
    for (SqlCipherResult* result : qAsConst(m_results))
        result->releaseStatement(true);
    for (const auto& entry : qAsConst(m_statementCache))
        sqlite3_finalize(entry.second);
    m_statementCache.clear();
    if (m_db) {
        if (sqlite3_close(m_db) != SQLITE_OK) {
            qWarning().noquote().nospace()
                << "SqlCipherDriver::close " << m_path << " error:" << sqlite3_errmsg(m_db);
            sqlite3_close_v2(m_db);
        }
        m_db = nullptr;
    }
}

void SqlCipherDriver::close()
{
    if (!m_db && !isOpen())
        return;
    if (!checkThread("close"))
        return;
    finalizeAll();
    m_ownerThread = nullptr;
    setOpen(false);
    setOpenError(false);
}

QSqlResult* SqlCipherDriver::createResult() const
{
    return new SqlCipherResult(this);
}

bool SqlCipherDriver::execDirect(const QByteArray& sql, const QString& failure,
                                 QSqlError::ErrorType type)
{
    if (!isOpen() || isOpenError() || !m_db)
        return false;
    if (!checkThread("execDirect")) {
        setLastError(
            QSqlError(failure, QStringLiteral("connection used outside its thread"), type));
        return false;
    }
    const int rc = sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        setLastError(makeError(failure, type, rc));
        return false;
    }
    return true;
}

bool SqlCipherDriver::beginTransaction()
{
    // IMMEDIATE takes the write lock at once (waiting through the busy time-out). A deferred
    // transaction that reads first and writes later cannot wait: when another connection wrote
    // in between, SQLite refuses the upgrade with SQLITE_BUSY straight away.
    return execDirect(QByteArrayLiteral("BEGIN IMMEDIATE"),
                      QStringLiteral("Unable to begin transaction"), QSqlError::TransactionError);
}

bool SqlCipherDriver::commitTransaction()
{
    return execDirect(QByteArrayLiteral("COMMIT"), QStringLiteral("Unable to commit transaction"),
                      QSqlError::TransactionError);
}

bool SqlCipherDriver::rollbackTransaction()
{
    return execDirect(QByteArrayLiteral("ROLLBACK"),
                      QStringLiteral("Unable to rollback transaction"),
                      QSqlError::TransactionError);
}

bool SqlCipherDriver::isInTransaction() const
{
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

QStringList SqlCipherDriver::tables(QSql::TableType type) const
{
    QStringList names;
    if (!isOpen())
        return names;
    QStringList conditions;
    if (type & QSql::Tables)
        conditions << QStringLiteral("(type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\')");
    if (type & QSql::Views)
        conditions << QStringLiteral("type='view'");
    if (type & QSql::SystemTables)
        conditions << QStringLiteral("(type='table' AND name LIKE 'sqlite\\_%' ESCAPE '\\')");
    if (!conditions.isEmpty()) {
        QSqlQuery query(createResult());
        query.setForwardOnly(true);
        if (query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE ") +
                       conditions.join(QLatin1String(" OR ")) + QStringLiteral(" ORDER BY name"))) {
            while (query.next())
                names << query.value(0).toString();
        }
    }
    if (type & QSql::SystemTables)
        names << QStringLiteral("sqlite_master");
    return names;
}

QSqlRecord SqlCipherDriver::record(const QString& tableName) const
{
    QSqlRecord fields;
    if (!isOpen())
        return fields;
    QSqlQuery query(createResult());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("PRAGMA table_info(") + escapeIdentifier(tableName, TableName) +
                    QLatin1Char(')')))
        return fields;
    // cid, name, type, notnull, dflt_value, pk
    while (query.next()) {
        QSqlField field(query.value(1).toString(), typeOfDeclaration(query.value(2).toString()),
                        tableName);
        field.setRequiredStatus(query.value(3).toInt() ? QSqlField::Required : QSqlField::Optional);
        field.setDefaultValue(query.value(4));
        field.setAutoValue(query.value(5).toInt() > 0 && field.type() == QVariant::LongLong);
        fields.append(field);
    }
    return fields;
}

QSqlIndex SqlCipherDriver::primaryIndex(const QString& tableName) const
{
    QSqlIndex index(tableName);
    if (!isOpen())
        return index;
    QSqlQuery query(createResult());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("PRAGMA table_info(") + escapeIdentifier(tableName, TableName) +
                    QLatin1Char(')')))
        return index;
    QList<QPair<int, QSqlField>> keyFields;
    while (query.next()) {
        const int keyPosition = query.value(5).toInt();
        if (keyPosition > 0) {
            keyFields.append(
                {keyPosition, QSqlField(query.value(1).toString(),
                                        typeOfDeclaration(query.value(2).toString()), tableName)});
        }
    }
    std::sort(keyFields.begin(), keyFields.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : qAsConst(keyFields))
        index.append(entry.second);
    return index;
}

QString SqlCipherDriver::escapeIdentifier(const QString& identifier, IdentifierType type) const
{
    Q_UNUSED(type);
    if (identifier.isEmpty() || isIdentifierEscaped(identifier, type))
        return identifier;
    QString escaped = identifier;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QVariant SqlCipherDriver::handle() const
{
    return QVariant::fromValue(static_cast<void*>(m_db));
}

bool SqlCipherDriver::checkThread(const char* operation) const
{
    if (m_ownerThread && QThread::currentThread() != m_ownerThread) {
        qCritical().noquote().nospace() << "SqlCipherDriver::" << operation << " - connection of "
                                        << m_path << " used outside the thread that opened it";
        return false;
    }
    return true;
}

sqlite3_stmt* SqlCipherDriver::takeStatement(const QString& sql) const
{
    for (int i = 0; i < m_statementCache.size(); ++i) {
        if (m_statementCache.at(i).first == sql)
            return m_statementCache.takeAt(i).second;
    }
    return nullptr;
}

void SqlCipherDriver::recycleStatement(const QString& sql, sqlite3_stmt* stmt) const
{
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    m_statementCache.prepend({sql, stmt});
    while (m_statementCache.size() > kStatementCacheSize)
        sqlite3_finalize(m_statementCache.takeLast().second);
}

void SqlCipherDriver::attachResult(SqlCipherResult* result) const
{
    m_results.append(result);
}

void SqlCipherDriver::detachResult(SqlCipherResult* result) const
{
    m_results.removeOne(result);
}

QSqlError SqlCipherDriver::makeError(const QString& text, QSqlError::ErrorType type, int code) const
{
    const QString message =
        m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(code));
    return QSqlError(text, message, type, QString::number(code));
}

QVariant::Type SqlCipherDriver::columnType(const QString& declaredType)
{
    return typeOfDeclaration(declaredType);
}
