#include "store/sqlcipherresult.h"

#include "store/sqlcipherdriver.h"

#include <QDate>
#include <QDateTime>
#include <QSqlField>
#include <QTime>

#include <sqlite3.h>

namespace {

bool startsWithInsert(const QString& sql)
{
    const QString head = sql.trimmed().left(7).toUpper();
    return head.startsWith(QLatin1String("INSERT")) || head.startsWith(QLatin1String("REPLACE"));
}

} // namespace

SqlCipherResult::SqlCipherResult(const SqlCipherDriver* driver) : QSqlResult(driver)
{
    driver->attachResult(this);
}

SqlCipherResult::~SqlCipherResult()
{
    releaseStatement(false);
    if (const SqlCipherDriver* drv = cipherDriver())
        drv->detachResult(this);
}

const SqlCipherDriver* SqlCipherResult::cipherDriver() const
{
    return static_cast<const SqlCipherDriver*>(driver());
}

void SqlCipherResult::releaseStatement(bool connectionClosing)
{
    if (!m_stmt)
        return;
    const SqlCipherDriver* drv = cipherDriver();
    // The statement cache belongs to the owning thread; elsewhere the statement just goes.
    if (!connectionClosing && drv && drv->connection() && drv->checkThread("release"))
        drv->recycleStatement(m_sql, m_stmt);
    else
        sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    m_done = true;
    m_hasPending = false;
}

QVariant SqlCipherResult::handle() const
{
    return QVariant::fromValue(static_cast<void*>(m_stmt));
}

void SqlCipherResult::clearRun()
{
    m_row.clear();
    m_rows.clear();
    m_pending.clear();
    m_hasPending = false;
    m_done = true;
    m_affected = -1;
    m_lastInsertId = QVariant();
    m_record = QSqlRecord();
    m_recordBuilt = false;
    setSelect(false);
    setActive(false);
    setAt(QSql::BeforeFirstRow);
}

bool SqlCipherResult::reset(const QString& query)
{
    return prepare(query) && exec();
}

bool SqlCipherResult::prepare(const QString& query)
{
    releaseStatement(false);
    clearRun();

    const SqlCipherDriver* drv = cipherDriver();
    if (!drv || !drv->isOpen() || drv->isOpenError() || !drv->connection()) {
        setLastError(QSqlError(QStringLiteral("Unable to prepare statement"),
                               QStringLiteral("the database is not open"),
                               QSqlError::StatementError));
        return false;
    }
    if (!drv->checkThread("prepare")) {
        setLastError(QSqlError(QStringLiteral("Unable to prepare statement"),
                               QStringLiteral("connection used outside its thread"),
                               QSqlError::StatementError));
        return false;
    }

    m_sql = query;
    m_isInsert = startsWithInsert(query);
    m_stmt = drv->takeStatement(query);
    if (m_stmt)
        return true;

    const QByteArray sql = query.toUtf8();
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(drv->connection(), sql.constData(), sql.size() + 1, &m_stmt, &tail);
    if (rc != SQLITE_OK) {
        setLastError(drv->makeError(QStringLiteral("Unable to prepare statement"),
                                    QSqlError::StatementError, rc));
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        return false;
    }
    if (!m_stmt) {
        setLastError(QSqlError(QStringLiteral("Unable to prepare statement"),
                               QStringLiteral("the query holds no statement"),
                               QSqlError::StatementError));
        return false;
    }
    if (tail && !QByteArray(tail).trimmed().isEmpty()) {
        setLastError(QSqlError(QStringLiteral("Unable to prepare statement"),
                               QStringLiteral("Unable to execute multiple statements at a time"),
                               QSqlError::StatementError));
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        return false;
    }
    return true;
}

void SqlCipherResult::bindValue(int index, const QVariant& value, QSql::ParamType type)
{
    // QSqlResult's own version also files every position under a made-up name (":0", ":1", ...)
    // for look-ups by name that positional binding never makes; formatting that name and filing
    // it cost more than the rest of binding a value. Only the value is needed here, since exec()
    // binds boundValues() by position (named placeholders reach the same vector through
    // QSqlResult's name table, filled when the statement was prepared).
    if (type != QSql::In || hasOutValues() || index < 0) {
        QSqlResult::bindValue(index, value, type);
        return;
    }
    QVector<QVariant>& values = boundValues();
    if (values.size() <= index)
        values.resize(index + 1);
    values[index] = value;
}

bool SqlCipherResult::bindAll()
{
    const QVector<QVariant>& values = boundValues();
    const int expected = sqlite3_bind_parameter_count(m_stmt);
    if (values.size() != expected) {
        setLastError(QSqlError(QStringLiteral("Unable to bind parameters"),
                               QStringLiteral("Parameter count mismatch: %1 expected, %2 given")
                                   .arg(expected)
                                   .arg(values.size()),
                               QSqlError::StatementError));
        return false;
    }
    for (int i = 0; i < values.size(); ++i) {
        const QVariant& value = values.at(i);
        const int position = i + 1;
        int rc = SQLITE_OK;
        if (value.isNull()) {
            rc = sqlite3_bind_null(m_stmt, position);
        } else {
            switch (value.userType()) {
            case QMetaType::Bool:
                rc = sqlite3_bind_int(m_stmt, position, value.toBool() ? 1 : 0);
                break;
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Char:
            case QMetaType::UChar:
            case QMetaType::SChar:
            case QMetaType::Long:
            case QMetaType::LongLong:
                rc = sqlite3_bind_int64(m_stmt, position, value.toLongLong());
                break;
            case QMetaType::ULong:
            case QMetaType::ULongLong:
                rc = sqlite3_bind_int64(m_stmt, position,
                                        static_cast<sqlite3_int64>(value.toULongLong()));
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(m_stmt, position, value.toDouble());
                break;
            case QMetaType::QByteArray: {
                const QByteArray bytes = value.toByteArray();
                rc = sqlite3_bind_blob(m_stmt, position, bytes.constData(), bytes.size(),
                                       SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::QDateTime:
                rc = sqlite3_bind_text(
                    m_stmt, position,
                    value.toDateTime().toString(Qt::ISODateWithMs).toUtf8().constData(), -1,
                    SQLITE_TRANSIENT);
                break;
            default: {
                const QByteArray text = value.toString().toUtf8();
                rc = sqlite3_bind_text(m_stmt, position, text.constData(), text.size(),
                                       SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (rc != SQLITE_OK) {
            setLastError(cipherDriver()->makeError(QStringLiteral("Unable to bind parameters"),
                                                   QSqlError::StatementError, rc));
            return false;
        }
    }
    return true;
}

bool SqlCipherResult::exec()
{
    clearRun();

    const SqlCipherDriver* drv = cipherDriver();
    if (!m_stmt || !drv || !drv->connection()) {
        setLastError(QSqlError(QStringLiteral("Unable to execute statement"),
                               QStringLiteral("no prepared statement"), QSqlError::StatementError));
        return false;
    }
    if (!drv->checkThread("exec")) {
        setLastError(QSqlError(QStringLiteral("Unable to execute statement"),
                               QStringLiteral("connection used outside its thread"),
                               QSqlError::StatementError));
        return false;
    }
    sqlite3* db = drv->connection();
    // Every parameter is bound again below (bindAll() refuses a count that does not match), so
    // the old values need no clearing first.
    sqlite3_reset(m_stmt);
    if (!bindAll())
        return false;

    const int changesBefore = sqlite3_total_changes(db);
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        readRow(m_pending);
        m_hasPending = true;
        m_done = false;
    } else if (rc == SQLITE_DONE) {
        // Resetting at once ends the statement's read snapshot, so that this connection does not
        // hold back other connections' writes or later fail to upgrade to a write.
        sqlite3_reset(m_stmt);
    } else {
        setLastError(drv->makeError(QStringLiteral("Unable to execute statement"),
                                    QSqlError::StatementError, rc));
        sqlite3_reset(m_stmt);
        return false;
    }

    const bool select = sqlite3_column_count(m_stmt) > 0;
    if (!select) {
        // sqlite3_changes() keeps the count of the last INSERT/UPDATE/DELETE, so a statement
        // that changed nothing (DDL, a pragma) must not report that old count.
        m_affected = sqlite3_total_changes(db) != changesBefore ? sqlite3_changes(db) : 0;
        if (m_affected > 0 && m_isInsert)
            m_lastInsertId = qlonglong(sqlite3_last_insert_rowid(db));
    }
    setSelect(select);
    setActive(true);
    return true;
}

void SqlCipherResult::readRow(QVector<QVariant>& row) const
{
    const int columns = sqlite3_column_count(m_stmt);
    const QSql::NumericalPrecisionPolicy policy = numericalPrecisionPolicy();
    row.resize(columns);
    for (int i = 0; i < columns; ++i) {
        switch (sqlite3_column_type(m_stmt, i)) {
        case SQLITE_INTEGER:
            // Whole numbers stay exact whatever the precision policy (Qt's default policy,
            // LowPrecisionDouble, would round 64-bit times); the policy applies to reals.
            row[i] = qlonglong(sqlite3_column_int64(m_stmt, i));
            break;
        case SQLITE_FLOAT: {
            const double value = sqlite3_column_double(m_stmt, i);
            if (policy == QSql::LowPrecisionInt32)
                row[i] = int(value);
            else if (policy == QSql::LowPrecisionInt64)
                row[i] = qlonglong(value);
            else
                row[i] = value;
            break;
        }
        case SQLITE_BLOB: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, i));
            const int size = sqlite3_column_bytes(m_stmt, i);
            row[i] = QByteArray(data ? data : "", size);
            break;
        }
        case SQLITE_NULL:
            row[i] = QVariant(QVariant::String);
            break;
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
            const int size = sqlite3_column_bytes(m_stmt, i);
            // A non-null pointer keeps an empty text distinct from NULL.
            row[i] = QString::fromUtf8(text ? text : "", size);
            break;
        }
        }
    }
}

void SqlCipherResult::buildRecord() const
{
    m_recordBuilt = true;
    if (!m_stmt)
        return;
    const int columns = sqlite3_column_count(m_stmt);
    for (int i = 0; i < columns; ++i) {
        const char* declared = sqlite3_column_decltype(m_stmt, i);
        QSqlField field(QString::fromUtf8(sqlite3_column_name(m_stmt, i)),
                        SqlCipherDriver::columnType(QString::fromUtf8(declared ? declared : "")));
        m_record.append(field);
    }
}

bool SqlCipherResult::nextRow(QVector<QVariant>& row)
{
    if (m_hasPending) {
        row = std::move(m_pending);
        m_pending = QVector<QVariant>();
        m_hasPending = false;
        return true;
    }
    if (m_done || !m_stmt)
        return false;
    if (!cipherDriver()->checkThread("fetch")) {
        setLastError(QSqlError(QStringLiteral("Unable to fetch row"),
                               QStringLiteral("connection used outside its thread"),
                               QSqlError::StatementError));
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        readRow(row);
        return true;
    }
    m_done = true;
    if (rc != SQLITE_DONE) {
        setLastError(cipherDriver()->makeError(QStringLiteral("Unable to fetch row"),
                                               QSqlError::StatementError, rc));
    }
    sqlite3_reset(m_stmt);
    return false;
}

bool SqlCipherResult::fetch(int index)
{
    if (!isActive() || !isSelect() || index < 0)
        return false;
    if (!isForwardOnly()) {
        while (m_rows.size() <= index) {
            QVector<QVariant> row;
            if (!nextRow(row))
                break;
            m_rows.append(std::move(row));
        }
        if (index >= m_rows.size()) {
            setAt(QSql::AfterLastRow);
            return false;
        }
        setAt(index);
        return true;
    }
    if (at() == QSql::AfterLastRow)
        return false;
    int position = at(); // BeforeFirstRow is -1
    if (index <= position)
        return index == position;
    while (position < index) {
        if (!nextRow(m_row)) {
            m_row.clear();
            setAt(QSql::AfterLastRow);
            return false;
        }
        ++position;
    }
    setAt(index);
    return true;
}

bool SqlCipherResult::fetchNext()
{
    const int position = at();
    if (position == QSql::AfterLastRow)
        return false;
    return fetch(position < 0 ? 0 : position + 1);
}

bool SqlCipherResult::fetchFirst()
{
    if (isForwardOnly() && at() != QSql::BeforeFirstRow)
        return at() == 0;
    return fetch(0);
}

bool SqlCipherResult::fetchLast()
{
    if (!isActive() || !isSelect())
        return false;
    if (!isForwardOnly()) {
        QVector<QVariant> row;
        while (nextRow(row))
            m_rows.append(std::move(row));
        if (m_rows.isEmpty()) {
            setAt(QSql::AfterLastRow);
            return false;
        }
        setAt(m_rows.size() - 1);
        return true;
    }
    if (at() == QSql::AfterLastRow)
        return false;
    int position = at();
    QVector<QVariant> row;
    while (nextRow(row)) {
        m_row = std::move(row);
        row = QVector<QVariant>();
        ++position;
    }
    if (position < 0) {
        setAt(QSql::AfterLastRow);
        return false;
    }
    setAt(position);
    return true;
}

const QVector<QVariant>* SqlCipherResult::currentRow() const
{
    const int position = at();
    if (position < 0)
        return nullptr;
    if (isForwardOnly())
        return &m_row;
    return position < m_rows.size() ? &m_rows.at(position) : nullptr;
}

QVariant SqlCipherResult::data(int index)
{
    const QVector<QVariant>* row = currentRow();
    if (!row || index < 0 || index >= row->size())
        return QVariant();
    return row->at(index);
}

bool SqlCipherResult::isNull(int index)
{
    const QVector<QVariant>* row = currentRow();
    if (!row || index < 0 || index >= row->size())
        return true;
    return row->at(index).isNull();
}

int SqlCipherResult::size()
{
    return -1;
}

int SqlCipherResult::numRowsAffected()
{
    return m_affected;
}

QVariant SqlCipherResult::lastInsertId() const
{
    return m_lastInsertId;
}

QSqlRecord SqlCipherResult::record() const
{
    if (!isActive() || !isSelect())
        return QSqlRecord();
    if (!m_recordBuilt)
        buildRecord();
    return m_record;
}

void SqlCipherResult::detachFromResultSet()
{
    if (m_stmt)
        sqlite3_reset(m_stmt);
    m_hasPending = false;
    m_pending.clear();
    m_done = true;
}
