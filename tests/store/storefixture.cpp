#include "storefixture.h"

#include "store/dbmanager.h"

#include <QSqlError>
#include <QSqlRecord>
#include <QtTest>

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

Rows StoreFixture::table(const QString& sql, const QVariantList& values)
{
    QSqlQuery query(m_db->database());
    query.setForwardOnly(true);
    const bool prepared = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!prepared || !query.exec()) {
        qWarning().noquote() << "failed:" << sql << query.lastError().text();
        return {{{"failed", query.lastError().text()}}};
    }
    Rows out;
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < query.record().count(); ++i)
            row << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
        out.rows << row;
    }
    return out;
}

QStringList StoreFixture::column(const QString& sql, const QVariantList& values)
{
    QStringList out;
    for (const QStringList& row : table(sql, values).rows)
        out << row.value(0);
    return out;
}

bool StoreFixture::exec(const QString& sql, const QVariantList& values)
{
    return table(sql, values).rows.value(0).value(0) != QLatin1String("failed");
}

qint64 StoreFixture::number(const QString& sql, const QVariantList& values)
{
    bool ok = false;
    const qint64 n = column(sql, values).value(0).toLongLong(&ok);
    return ok ? n : -1;
}

void StoreFixture::insert(const char* into, const QVariantList& values)
{
    const QString marks = QStringLiteral("?, ").repeated(values.size()).chopped(2);
    QVERIFY(
        exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(QLatin1String(into), marks), values));
}
