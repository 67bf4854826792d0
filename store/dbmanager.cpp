#include "store/dbmanager.h"

#include "store/dbsparestore.h"
#include "store/sqlcipherdriver.h"
#include "store/sqlcipherkeys.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

namespace {

const char* const kCreateMtData =
    "CREATE TABLE TTT_MTDATA (key    INTEGER UNIQUE ON CONFLICT REPLACE, value  TEXT);";

struct TableDefinition
{
    const char* name;
    const char* create;
    const char* index;        // nullptr: the table has no index of its own
    const char* indexFailure; // the warning when the index cannot be made
};

// In creation order.
const TableDefinition kTables[] = {
    {"TTT_GROUP",
     "CREATE TABLE if not exists TTT_GROUP (_id         INTEGER primary key autoincrement, "
     "group_id    INTEGER UNIQUE ON CONFLICT REPLACE, group_name  TEXT, group_type  INTEGER, "
     "group_order INTEGER, group_color INTEGER, thumb_url   TEXT, image_url   TEXT);",
     nullptr, nullptr},
    {"TTT_USER",
     "CREATE TABLE if not exists TTT_USER (_id             INTEGER primary key autoincrement, "
     "user_id         INTEGER UNIQUE ON CONFLICT REPLACE, user_name       TEXT, cell_phone      "
     "TEXT, email           TEXT, dept_name       TEXT, thumb_url       TEXT, image_url       "
     "TEXT, open_cell_phone INTEGER, chatt_allow     INTEGER, app_install     INTEGER, "
     "user_state      INTEGER DEFAULT 1, user_sort       TEXT DEFAULT '999999');",
     nullptr, nullptr},
    {"TTT_USER_GROUP",
     "CREATE TABLE if not exists TTT_USER_GROUP (_id      INTEGER primary key autoincrement, "
     "group_id INTEGER, user_id  INTEGER, state    INTEGER, member   INTEGER, UNIQUE   "
     "(group_id, user_id));",
     "CREATE INDEX if not exists TTT_USER_GROUP_GOUPID ON TTT_USER_GROUP (group_id)",
     "DBManager::createDBTable() - create index TTT_USER_GROUP_GOUPID failure"},
    {"TTT_CHATT_ROOM",
     "CREATE TABLE if not exists TTT_CHATT_ROOM (_id         INTEGER primary key autoincrement, "
     "topic       TEXT UNIQUE ON CONFLICT REPLACE, type        INTEGER, members     TEXT, "
     "create_date NUMERIC, update_date NUMERIC);",
     "CREATE INDEX IF NOT EXISTS TTT_CHATT_ROOM_TOPIC ON TTT_CHATT_ROOM (topic)",
     "DBManager::createDBTable() - create TTT_CHATT_ROOM_TOPIC table failure"},
    {"TTT_CHATT",
     "CREATE TABLE if not exists TTT_CHATT (_id          INTEGER primary key autoincrement, "
     "topic        TEXT not null, msg_type     INTEGER, content_type INTEGER, msg_id       TEXT "
     "UNIQUE ON CONFLICT REPLACE, sender_id    INTEGER, content      TEXT, file_path    TEXT, "
     "msg_time     NUMERIC, count        INTEGER, msg_state    INTEGER, msg_read     INTEGER);",
     "CREATE INDEX if not exists TTT_CHATT_MSGID_SENDERID ON TTT_CHATT (msg_id, sender_id)",
     "DBManager::createDBTable() - create index TTT_CHATT_MSGID_SENDERID failure"},
    {"TTT_CHATT_READER",
     "CREATE TABLE if not exists TTT_CHATT_READER (_id       INTEGER primary key "
     "autoincrement,topic     TEXT not null, msg_id    TEXT, reader_id INTEGER, msg_time  "
     "NUMERIC, UNIQUE    (topic, msg_id, reader_id) );",
     nullptr, nullptr},
};

DBManager::OpenError openErrorOf(SqlCipherDriver::OpenFailure failure)
{
    switch (failure) {
    case SqlCipherDriver::OpenFailure::None:
        // A driver that failed without saying why.
        return DBManager::OpenError::CannotOpen;
    case SqlCipherDriver::OpenFailure::CannotOpen:
        return DBManager::OpenError::CannotOpen;
    case SqlCipherDriver::OpenFailure::WrongKey:
        return DBManager::OpenError::WrongKey;
    case SqlCipherDriver::OpenFailure::ReadOnly:
        return DBManager::OpenError::ReadOnly;
    }
    return DBManager::OpenError::CannotOpen;
}

const char* openErrorMeaning(DBManager::OpenError error)
{
    switch (error) {
    case DBManager::OpenError::None:
        return "no error";
    case DBManager::OpenError::CannotOpen:
        return "the file cannot be opened or created";
    case DBManager::OpenError::WrongKey:
        return "wrong key or not a database";
    case DBManager::OpenError::ReadOnly:
        return "the file or its folder cannot be written, the store is unusable";
    }
    return "unknown";
}

} // namespace

DBManager::DBManager(const QString& dbPath, const QString& connectionName, const QString& password,
                     int dbVersion)
    : m_dbPath(dbPath), m_connectionName(connectionName), m_dbVersion(dbVersion),
      m_thread(QThread::currentThread())
{
    open(dbPath, connectionName, password);
}

DBManager::~DBManager()
{
    release();
}

void DBManager::release()
{
    m_prepared.clear();
    if (m_db.isOpen())
        m_db.close();
    // The same name may already serve a newer manager (Qt replaces a connection added twice);
    // only a connection that is still this manager's own is removed.
    bool ours = false;
    if (m_db.isValid()) {
        const QSqlDatabase registered = QSqlDatabase::database(m_connectionName, false);
        ours = registered.isValid() && registered.driver() == m_db.driver();
    }
    m_db = QSqlDatabase();
    if (ours)
        QSqlDatabase::removeDatabase(m_connectionName);
}

QString DBManager::databaseFilePath(const QString& userId)
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dir);
    // The account name becomes part of a file name: it must not lead out of the folder.
    QString name = userId;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    return dir + QStringLiteral("/veltri_") + name + QStringLiteral(".db");
}

void DBManager::prepareKey(const QString& dbPath)
{
    // A first login on this computer takes the spare store, keyed already, for its file.
    const bool spare = !QFileInfo::exists(dbPath) && DBSpareStore::isReady();
    SqlCipherKeys::prepare(spare ? DBSpareStore::path() : dbPath, QString::fromLatin1(kPassword));
}

void DBManager::prepareNewFileKey()
{
    SqlCipherKeys::prepareNewFile(QString::fromLatin1(kPassword));
}

bool DBManager::open(const QString& dbPath, const QString& connectionName, const QString& password)
{
    if (m_db.isOpen()) {
        qDebug().noquote().nospace() << "DBManager::open already open";
        return true;
    }
    SqlCipherDriver::registerDrivers();
    // A connection left from a failed open is dropped, not added a second time.
    release();
    m_dbPath = dbPath;
    m_connectionName = connectionName;

    qDebug().noquote().nospace() << "DBManager::open available sql drivers: "
                                 << QSqlDatabase::drivers().join(QLatin1Char(','));
    const QString driver = QString::fromLatin1(password.isEmpty() ? SqlCipherDriver::kKeylessName
                                                                  : SqlCipherDriver::kKeyedName);
    m_db = QSqlDatabase::addDatabase(driver, connectionName);
    qDebug().noquote().nospace() << "DBManager::open dbPath:" << dbPath
                                 << " connectionName:" << connectionName;
    m_db.setDatabaseName(dbPath);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_ENABLE_SHARED_CACHE=1"));
    if (!password.isEmpty())
        m_db.setPassword(password);

    if (!m_db.open()) {
        m_openErrorText = m_db.lastError().text();
        const auto* driver = qobject_cast<const SqlCipherDriver*>(m_db.driver());
        m_openError =
            openErrorOf(driver ? driver->openFailure() : SqlCipherDriver::OpenFailure::CannotOpen);
        qWarning().noquote().nospace()
            << "DBManager::open failed to open " << dbPath << " (" << openErrorMeaning(m_openError)
            << ") error:" << m_openErrorText;
        return false;
    }
    m_openError = OpenError::None;
    m_openErrorText.clear();
    qDebug().noquote().nospace() << "DBManager::open OK dbPath:" << dbPath;
    createDBTable();
    return true;
}

bool DBManager::inTransaction() const
{
    const auto* driver = qobject_cast<const SqlCipherDriver*>(m_db.driver());
    return driver && driver->isInTransaction();
}

QSqlQuery* DBManager::preparedQuery(const QString& sql, QSqlError* error)
{
    // The kept queries are the owning thread's as much as the connection is.
    if (QThread::currentThread() != m_thread) {
        qCritical().noquote().nospace() << "DBManager::preparedQuery - connection "
                                        << m_connectionName << " used outside its thread";
        if (error) {
            *error = QSqlError(QStringLiteral("Unable to prepare statement"),
                               QStringLiteral("connection used outside its thread"),
                               QSqlError::ConnectionError);
        }
        return nullptr;
    }
    auto it = m_prepared.find(sql);
    if (it != m_prepared.end())
        return &it.value();
    QSqlQuery query(m_db);
    if (!m_db.isOpen() || !query.prepare(sql)) {
        if (error) {
            *error = m_db.isOpen() ? query.lastError()
                                   : QSqlError(QStringLiteral("Unable to prepare statement"),
                                               QStringLiteral("the database is not open"),
                                               QSqlError::ConnectionError);
        }
        return nullptr;
    }
    return &m_prepared.insert(sql, query).value();
}

bool DBManager::execSchemaStatement(const QString& sql)
{
    QSqlQuery query(m_db);
    if (!query.exec(sql)) {
        qWarning().noquote().nospace() << "DBManager::createDBTable failed sql:" << sql
                                       << " error:" << query.lastError().text();
        return false;
    }
    return true;
}

void DBManager::createDBTable()
{
    qDebug().noquote().nospace() << "DBManager::createDBTable...1 m_db.isValid():"
                                 << m_db.isValid();
    // Connections of other threads may open a new file at the same moment; inside the write
    // lock of one transaction only one of them finds the tables missing and creates them.
    const bool inTransaction = m_db.transaction();
    const QStringList tables = m_db.tables();
    qDebug().noquote().nospace() << "DBManager::createDBTable tables:"
                                 << tables.join(QLatin1Char(','));

    if (!tables.contains(QLatin1String("TTT_MTDATA"))) {
        if (execSchemaStatement(QString::fromLatin1(kCreateMtData))) {
            QSqlQuery insert(m_db);
            insert.prepare(QStringLiteral("INSERT INTO TTT_MTDATA (key, value) VALUES (?, ?)"));
            insert.addBindValue(1);
            insert.addBindValue(QString::number(m_dbVersion));
            if (!insert.exec()) {
                qWarning().noquote().nospace()
                    << "DBManager::createDBTable() - fail to insert db version !!!!";
            }
        } else {
            qWarning().noquote().nospace()
                << "DBManager::createDBTable() - create TTT_MTDATA table failure";
        }
    } else if (m_dbVersion != 0) {
        QSqlQuery version(m_db);
        version.setForwardOnly(true);
        version.prepare(QStringLiteral("SELECT value FROM TTT_MTDATA WHERE key = ?"));
        version.addBindValue(1);
        if (version.exec() && version.next()) {
            const int stored = version.value(0).toString().toInt();
            version.finish();
            if (stored != m_dbVersion)
                onUpdateDBTable(m_dbVersion);
        }
    }

    for (const TableDefinition& table : kTables) {
        const QString name = QString::fromLatin1(table.name);
        if (tables.contains(name))
            continue;
        if (name == QLatin1String("TTT_GROUP") || name == QLatin1String("TTT_USER"))
            qDebug().noquote().nospace() << "DBManager::createDB() " << name;
        if (!execSchemaStatement(QString::fromLatin1(table.create))) {
            qWarning().noquote().nospace()
                << "DBManager::createDBTable() - create " << name << " table failure";
        }
        if (table.index && !execSchemaStatement(QString::fromLatin1(table.index)))
            qWarning().noquote().nospace() << table.indexFailure;
    }

    if (inTransaction && !m_db.commit()) {
        qWarning().noquote().nospace()
            << "DBManager::createDBTable commit failed error:" << m_db.lastError().text();
        m_db.rollback();
    }
}

void DBManager::onUpdateDBTable(int newVersion)
{
    qDebug().noquote().nospace() << "DBManager::onUpdateDBTable - update table, newVersion="
                                 << newVersion;
}
