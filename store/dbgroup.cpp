#include "store/dbgroup.h"

#include "store/dbmanager.h"
#include "store/dbsql.h"

#include <QJsonObject>
#include <QSqlQuery>

DBGroup::DBGroup(DBManager* dbManager) : Content(dbManager) {}

DBGroup::DBGroup(DBManager* dbManager, const QJsonObject& object) : Content(dbManager)
{
    m_group_id = DBSql::jsonInt(object, QStringLiteral("grpId"));
    m_group_name = DBSql::jsonText(object, QStringLiteral("grpName"));
    m_group_type = int(DBSql::jsonInt(object, QStringLiteral("grpType")));
    m_group_order = 0;
    m_group_color = DBSql::jsonInt(object, QStringLiteral("skinColor"));
    m_thumb_url = DBSql::jsonText(object, QStringLiteral("thumbUrl"));
    m_image_url = DBSql::jsonText(object, QStringLiteral("imageUrl"));
}

DBGroup::~DBGroup() = default;

void DBGroup::setFromRecord(const QSqlQuery& query)
{
    m_id = query.value(QStringLiteral("_id")).toLongLong();
    m_group_id = query.value(QStringLiteral("group_id")).toLongLong();
    m_group_name = query.value(QStringLiteral("group_name")).toString();
    m_group_type = query.value(QStringLiteral("group_type")).toInt();
    m_group_order = query.value(QStringLiteral("group_order")).toInt();
    m_group_color = query.value(QStringLiteral("group_color")).toLongLong();
    m_thumb_url = query.value(QStringLiteral("thumb_url")).toString();
    m_image_url = query.value(QStringLiteral("image_url")).toString();
}

bool DBGroup::insertOrUpdate()
{
    QSqlQuery* query =
        DBSql::prepared(m_dbManager,
                        QStringLiteral("INSERT OR REPLACE INTO TTT_GROUP (group_id, group_name, "
                                       "group_type, group_order, group_color, thumb_url, "
                                       "image_url) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                        "DBGroup::insertOrUpdate");
    if (!query)
        return false;
    query->addBindValue(m_group_id);
    query->addBindValue(DBSql::text(m_group_name));
    query->addBindValue(m_group_type);
    query->addBindValue(m_group_order);
    query->addBindValue(m_group_color);
    query->addBindValue(DBSql::text(m_thumb_url));
    query->addBindValue(DBSql::text(m_image_url));
    return DBSql::execInsert(*query, "DBGroup::insertOrUpdate", &m_id);
}

bool DBGroup::remove()
{
    QSqlQuery* query = DBSql::prepared(
        m_dbManager, QStringLiteral("DELETE FROM TTT_GROUP WHERE group_id=?"), "DBGroup::remove");
    if (!query)
        return false;
    query->addBindValue(m_group_id);
    return DBSql::exec(*query, "DBGroup::remove");
}
