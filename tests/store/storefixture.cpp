#include "storefixture.h"

#include "store/dbmanager.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlRecord>
#include <QtTest>

#include <grp.h>
#include <unistd.h>

namespace {
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;
} // namespace

char* toString(const KeyValue& row)
{
    return qstrdup(
        QStringLiteral("{key=%1 value=\"%2\"}").arg(row.key).arg(row.value).toUtf8().constData());
}

QList<KeyValue> keyValueRows(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    QList<KeyValue> out;
    if (!query.exec("SELECT key, value FROM TTT_MTDATA ORDER BY key")) {
        qWarning().noquote() << "keyValueRows failed:" << query.lastError().text();
        return {{-1, query.lastError().text()}};
    }
    while (query.next())
        out.append({query.value(0).toInt(), query.value(1).toString()});
    return out;
}

UnprivilegedScope::UnprivilegedScope()
{
    if (geteuid() != 0)
        return;
    const gid_t groups[] = {kNoGroup};
    m_dropped = setgroups(1, groups) == 0 && setresgid(kNoGroup, kNoGroup, 0) == 0 &&
                setresuid(kNobody, kNobody, 0) == 0;
    if (!m_dropped)
        qWarning("UnprivilegedScope: could not become nobody: %s", strerror(errno));
}

UnprivilegedScope::~UnprivilegedScope()
{
    if (!m_dropped)
        return;
    const gid_t groups[] = {0};
    if (setresuid(0, 0, 0) != 0 || setresgid(0, 0, 0) != 0 || setgroups(1, groups) != 0)
        qFatal("UnprivilegedScope: could not return to root: %s", strerror(errno));
}

bool UnprivilegedScope::isUnprivileged() const
{
    return geteuid() != 0;
}

QString fields(std::initializer_list<QVariant> values)
{
    QStringList out;
    for (const QVariant& value : values)
        out << (value.type() == QVariant::Bool ? QString::number(value.toInt()) : value.toString());
    return out.join(QLatin1Char('|'));
}

QStringList sqlcipherTool(const QString& file, const QString& key, const QString& script,
                          QString* error)
{
    QProcess tool;
    tool.start(QStringLiteral("sqlcipher"), {QStringLiteral("-batch"), file});
    tool.write(QStringLiteral("PRAGMA key = '%1';\n%2\n")
                   .arg(QString(key).replace(QLatin1Char('\''), QLatin1String("''")), script)
                   .toUtf8());
    tool.closeWriteChannel();
    if (!tool.waitForFinished(60000) && error)
        *error = QStringLiteral("sqlcipher did not run: ") + tool.errorString();
    else if (error)
        *error = QString::fromUtf8(tool.readAllStandardError()).trimmed();
    return QString::fromUtf8(tool.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

StoreFixture::StoreFixture(const QString& connectionName) : m_connectionName(connectionName)
{
    reopen();
}

StoreFixture::~StoreFixture() = default;

void StoreFixture::reopen()
{
    m_db.reset();
    m_db = std::make_unique<DBManager>(file(), m_connectionName,
                                       QString::fromLatin1(DBManager::kPassword), 1);
}

QStringList StoreFixture::rows(const QString& sql, const QVariantList& values)
{
    return ::rows(m_db->database(), sql, values);
}

QStringList rows(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const bool prepared = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!prepared || !query.exec()) {
        const QString error = "failed: " + sql + ": " + query.lastError().text();
        qWarning().noquote() << error;
        return {error};
    }
    QStringList out;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
        out << columns.join(QLatin1Char('|'));
    }
    return out;
}

bool StoreFixture::exec(const QString& sql, const QVariantList& values)
{
    return !rows(sql, values).value(0).startsWith("failed: ");
}

qint64 StoreFixture::number(const QString& sql, const QVariantList& values)
{
    const QStringList found = rows(sql, values);
    return found.isEmpty() ? -1 : found.first().section(QLatin1Char('|'), 0, 0).toLongLong();
}

void StoreFixture::insert(const char* into, const QVariantList& values)
{
    const QString marks = QStringLiteral("?, ").repeated(values.size()).chopped(2);
    QVERIFY(
        exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(QLatin1String(into), marks), values));
}
