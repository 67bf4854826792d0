#pragma once

#include "invite/invitedirectory.h"

#include <QAbstractListModel>
#include <QList>

class DBUser;

// The people of a members or readers list, in the order given.
class MemberListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role
    {
        ThumbUrlRole = Qt::UserRole,
        UserNameRole,
        DeptNameRole,
        UserIdRole,
    };

    explicit MemberListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void setUsers(const QList<DBUser>& users);
    void clear();
    qint64 userIdAt(int row) const;

private:
    QVector<InviteEntry> m_entries;
};
