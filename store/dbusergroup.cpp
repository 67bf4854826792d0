#include "store/dbusergroup.h"

#include "store/dbmanager.h"
#include "store/dbsql.h"

#include <QJsonObject>
#include <QSqlQuery>

DBUserGroup::DBUserGroup(DBManager* dbManager) : Content(dbManager) {}

DBUserGroup::DBUserGroup(DBManager* dbManager, const QJsonObject& object) : Content(dbManager)
{
    m_group_id = DBSql::jsonInt(object, QStringLiteral("grpId"));
    m_user_id = DBSql::jsonInt(object, QStringLiteral("userId"));
    m_state = DBSql::jsonText(object, QStringLiteral("mbrStatus")).toInt();
    m_member = DBSql::jsonText(object, QStringLiteral("leaderType")).toInt();
}

DBUserGroup::~DBUserGroup() = default;

bool DBUserGroup::insertOrUpdate()
{
    QSqlQuery* query =
        DBSql::prepared(m_dbManager,
                        QStringLiteral("INSERT OR REPLACE INTO TTT_USER_GROUP (group_id, user_id, "
                                       "state, member) VALUES (?, ?, ?, ?)"),
                        "DBUserGroup::insertOrUpdate");
    if (!query)
        return false;
    query->addBindValue(m_group_id);
    query->addBindValue(m_user_id);
    query->addBindValue(m_state);
    query->addBindValue(m_member);
    return DBSql::execInsert(*query, "DBUserGroup::insertOrUpdate", &m_id);
}

bool DBUserGroup::remove()
{
    // Mixed placeholders, bound by position: group_id first, user_id second.
    QSqlQuery* query = DBSql::prepared(
        m_dbManager,
        QStringLiteral("DELETE FROM TTT_USER_GROUP WHERE group_id=? AND user_id=:user_id"),
        "DBUserGroup::remove");
    if (!query)
        return false;
    query->addBindValue(m_group_id);
    query->addBindValue(m_user_id);
    return DBSql::exec(*query, "DBUserGroup::remove");
}
