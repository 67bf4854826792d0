#pragma once

#include "store/content.h"

class QJsonObject;

// A row of TTT_USER_GROUP: one membership of a user in a group.
class DBUserGroup : public Content
{
public:
    explicit DBUserGroup(DBManager* dbManager = nullptr);
    // From a membership object of the server ("grpId", "userId", "mbrStatus", "leaderType").
    DBUserGroup(DBManager* dbManager, const QJsonObject& object);
    ~DBUserGroup() override;
    DBUserGroup(const DBUserGroup&) = default;
    DBUserGroup& operator=(const DBUserGroup&) = default;
    DBUserGroup(DBUserGroup&&) = default;
    DBUserGroup& operator=(DBUserGroup&&) = default;

    bool insertOrUpdate();
    bool remove();

    qint64 groupId() const { return m_group_id; }
    void setGroupId(qint64 id) { m_group_id = id; }
    qint64 userId() const { return m_user_id; }
    void setUserId(qint64 id) { m_user_id = id; }
    // 1: an active membership
    int state() const { return m_state; }
    void setState(int state) { m_state = state; }
    // the server's "leaderType"
    int member() const { return m_member; }
    void setMember(int member) { m_member = member; }

private:
    qint64 m_group_id = 0;
    qint64 m_user_id = 0;
    int m_state = 0;
    int m_member = 0;
};
