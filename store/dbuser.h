#pragma once

#include "store/content.h"

#include <QString>

class QJsonObject;
class QSqlQuery;

// A row of TTT_USER: one member of the organisation directory.
class DBUser : public Content
{
public:
    explicit DBUser(DBManager* dbManager = nullptr);
    // From a user object of the server ("userId", "userName", "tel", ...). user_state is left to
    // the caller (the directory cache decides it from the element's "state").
    DBUser(DBManager* dbManager, const QJsonObject& object);
    ~DBUser() override;
    DBUser(const DBUser&) = default;
    DBUser& operator=(const DBUser&) = default;
    DBUser(DBUser&&) = default;
    DBUser& operator=(DBUser&&) = default;

    // Fills the record from a row that names its columns ("_id", "user_id", ... "user_state").
    void setFromRecord(const QSqlQuery& query);
    // Fills the record from a "SELECT * FROM TTT_USER" row: the first twelve columns by position.
    void setFromTableRow(const QSqlQuery& query);

    // INSERT OR REPLACE by user_id. Refused for user_id 0.
    bool insertOrUpdate();

    qint64 userId() const { return m_user_id; }
    void setUserId(qint64 id) { m_user_id = id; }
    QString userName() const { return m_user_name; }
    void setUserName(const QString& name) { m_user_name = name; }
    QString cellPhone() const { return m_cell_phone; }
    void setCellPhone(const QString& phone) { m_cell_phone = phone; }
    QString email() const { return m_email; }
    void setEmail(const QString& email) { m_email = email; }
    QString deptName() const { return m_dept_name; }
    void setDeptName(const QString& name) { m_dept_name = name; }
    QString thumbUrl() const { return m_thumb_url; }
    void setThumbUrl(const QString& url) { m_thumb_url = url; }
    QString imageUrl() const { return m_image_url; }
    void setImageUrl(const QString& url) { m_image_url = url; }
    bool openCellPhone() const { return m_open_cell_phone; }
    void setOpenCellPhone(bool on) { m_open_cell_phone = on; }
    bool chattAllow() const { return m_chatt_allow; }
    void setChattAllow(bool on) { m_chatt_allow = on; }
    bool appInstall() const { return m_app_install; }
    void setAppInstall(bool on) { m_app_install = on; }
    int userState() const { return m_user_state; }
    void setUserState(int state) { m_user_state = state; }
    QString userSort() const { return m_user_sort; }
    void setUserSort(const QString& sort) { m_user_sort = sort; }

private:
    qint64 m_user_id = 0;
    QString m_user_name;
    QString m_cell_phone;
    QString m_email;
    QString m_dept_name;
    QString m_thumb_url;
    QString m_image_url;
    bool m_open_cell_phone = false;
    bool m_chatt_allow = false;
    bool m_app_install = false;
    int m_user_state = 0;
    QString m_user_sort;
};
