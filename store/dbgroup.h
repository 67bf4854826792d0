#pragma once

#include "store/content.h"

#include <QString>

class QJsonObject;
class QSqlQuery;

// A row of TTT_GROUP: one organisation group.
class DBGroup : public Content
{
public:
    explicit DBGroup(DBManager* dbManager = nullptr);
    // From a group object of the server ("grpId", "grpName", "grpType", "skinColor", ...).
    DBGroup(DBManager* dbManager, const QJsonObject& object);
    ~DBGroup() override;
    DBGroup(const DBGroup&) = default;
    DBGroup& operator=(const DBGroup&) = default;
    DBGroup(DBGroup&&) = default;
    DBGroup& operator=(DBGroup&&) = default;

    // Fills the record from a row that names its columns ("_id", "group_id", ... "image_url").
    void setFromRecord(const QSqlQuery& query);

    bool insertOrUpdate();
    bool remove();

    qint64 groupId() const { return m_group_id; }
    void setGroupId(qint64 id) { m_group_id = id; }
    QString groupName() const { return m_group_name; }
    void setGroupName(const QString& name) { m_group_name = name; }
    int groupType() const { return m_group_type; }
    void setGroupType(int type) { m_group_type = type; }
    int groupOrder() const { return m_group_order; }
    void setGroupOrder(int order) { m_group_order = order; }
    qint64 groupColor() const { return m_group_color; }
    void setGroupColor(qint64 color) { m_group_color = color; }
    QString thumbUrl() const { return m_thumb_url; }
    void setThumbUrl(const QString& url) { m_thumb_url = url; }
    QString imageUrl() const { return m_image_url; }
    void setImageUrl(const QString& url) { m_image_url = url; }

private:
    qint64 m_group_id = 0;
    QString m_group_name;
    int m_group_type = 0;
    int m_group_order = 0;
    qint64 m_group_color = 0;
    QString m_thumb_url;
    QString m_image_url;
};
