#include "store/dbuser.h"

#include "store/dbmanager.h"
#include "store/dbsql.h"

#include <QDebug>
#include <QJsonObject>
#include <QSqlQuery>

DBUser::DBUser(DBManager* dbManager) : Content(dbManager) {}

DBUser::DBUser(DBManager* dbManager, const QJsonObject& object) : Content(dbManager)
{
    using DBSql::jsonInt;
    using DBSql::jsonText;
    m_user_id = jsonInt(object, QStringLiteral("userId"));
    m_user_name = jsonText(object, QStringLiteral("userName"));
    m_cell_phone = jsonText(object, QStringLiteral("tel"));
    m_email = jsonText(object, QStringLiteral("email"));
    m_dept_name = jsonText(object, QStringLiteral("deptName"));
    m_thumb_url = jsonText(object, QStringLiteral("thumbUrl"));
    m_image_url = jsonText(object, QStringLiteral("imageUrl"));
    m_open_cell_phone = jsonText(object, QStringLiteral("telOpenYn")).toInt() != 0;
    m_chatt_allow = jsonText(object, QStringLiteral("chattingAllowYn")).toInt() != 0;
    m_app_install = jsonText(object, QStringLiteral("appInstallYn")).toInt() != 0;
    m_user_sort = jsonText(object, QStringLiteral("userSortSeq"));
}

DBUser::~DBUser() = default;

void DBUser::setFromRecord(const QSqlQuery& query)
{
    m_id = query.value(QStringLiteral("_id")).toLongLong();
    m_user_id = query.value(QStringLiteral("user_id")).toLongLong();
    m_user_name = query.value(QStringLiteral("user_name")).toString();
    m_cell_phone = query.value(QStringLiteral("cell_phone")).toString();
    m_email = query.value(QStringLiteral("email")).toString();
    m_dept_name = query.value(QStringLiteral("dept_name")).toString();
    m_thumb_url = query.value(QStringLiteral("thumb_url")).toString();
    m_image_url = query.value(QStringLiteral("image_url")).toString();
    m_open_cell_phone = query.value(QStringLiteral("open_cell_phone")).toInt() != 0;
    m_chatt_allow = query.value(QStringLiteral("chatt_allow")).toInt() != 0;
    m_app_install = query.value(QStringLiteral("app_install")).toInt() != 0;
    m_user_state = query.value(QStringLiteral("user_state")).toInt();
}

void DBUser::setFromTableRow(const QSqlQuery& query)
{
    m_id = query.value(0).toLongLong();
    m_user_id = query.value(1).toLongLong();
    m_user_name = query.value(2).toString();
    m_cell_phone = query.value(3).toString();
    m_email = query.value(4).toString();
    m_dept_name = query.value(5).toString();
    m_thumb_url = query.value(6).toString();
    m_image_url = query.value(7).toString();
    m_open_cell_phone = query.value(8).toInt() != 0;
    m_chatt_allow = query.value(9).toInt() != 0;
    m_app_install = query.value(10).toInt() != 0;
    m_user_state = query.value(11).toInt();
}

bool DBUser::insertOrUpdate()
{
    if (m_user_id == 0) {
        qWarning().noquote().nospace() << "DBUser::insertOrUpdate - user_id is 0, It's not allow "
                                          "to insertOrUpdate !!!!!!!!!!!!";
        return false;
    }
    QSqlQuery* query =
        DBSql::prepared(m_dbManager,
                        QStringLiteral("INSERT OR REPLACE INTO TTT_USER (user_id, user_name, "
                                       "cell_phone, email, dept_name, thumb_url, image_url, "
                                       "open_cell_phone, chatt_allow, app_install, user_state, "
                                       "user_sort) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                        "DBUser::insertOrUpdate");
    if (!query)
        return false;
    query->addBindValue(m_user_id);
    query->addBindValue(DBSql::text(m_user_name));
    query->addBindValue(DBSql::text(m_cell_phone));
    query->addBindValue(DBSql::text(m_email));
    query->addBindValue(DBSql::text(m_dept_name));
    query->addBindValue(DBSql::text(m_thumb_url));
    query->addBindValue(DBSql::text(m_image_url));
    query->addBindValue(DBSql::flag(m_open_cell_phone));
    query->addBindValue(DBSql::flag(m_chatt_allow));
    query->addBindValue(DBSql::flag(m_app_install));
    query->addBindValue(m_user_state);
    query->addBindValue(DBSql::text(m_user_sort));
    return DBSql::execInsert(*query, "DBUser::insertOrUpdate", &m_id);
}
