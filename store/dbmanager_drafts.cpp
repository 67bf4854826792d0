// Drafts: one row per room whose input box was left with text. The table came after the first
// stores were written, so every store gets it the first time a draft is read or saved.
#include "store/dbmanager.h"
#include "store/dbsql.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

bool DBManager::ensureDraftTable()
{
    if (m_draftTableReady)
        return true;
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS TTT_DRAFT (topic TEXT PRIMARY KEY "
                                   "ON CONFLICT REPLACE, content TEXT)"))) {
        qWarning().noquote() << "DBManager::ensureDraftTable failed:" << query.lastError().text();
        return false;
    }
    m_draftTableReady = true;
    return true;
}

bool DBManager::saveDraft(const QString& topic, const QString& text)
{
    if (topic.isEmpty() || !ensureDraftTable())
        return false;
    const bool remove = text.isEmpty();
    QSqlQuery* query = DBSql::prepared(
        this,
        remove ? QStringLiteral("DELETE FROM TTT_DRAFT WHERE topic=?")
               : QStringLiteral("INSERT INTO TTT_DRAFT (topic, content) VALUES (?, ?)"),
        "DBManager::saveDraft");
    if (!query)
        return false;
    query->addBindValue(topic);
    if (!remove)
        query->addBindValue(text);
    const bool ok = DBSql::exec(*query, "DBManager::saveDraft");
    query->finish();
    return ok;
}

QString DBManager::draft(const QString& topic)
{
    if (topic.isEmpty() || !ensureDraftTable())
        return QString();
    QSqlQuery* query = DBSql::prepared(
        this, QStringLiteral("SELECT content FROM TTT_DRAFT WHERE topic=?"), "DBManager::draft");
    if (!query)
        return QString();
    query->addBindValue(topic);
    QString text;
    if (DBSql::exec(*query, "DBManager::draft") && query->next())
        text = query->value(0).toString();
    query->finish();
    return text;
}
