#include "invite/memberlistmodel.h"

#include "store/dbuser.h"

MemberListModel::MemberListModel(QObject* parent) : QAbstractListModel(parent) {}

int MemberListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_entries.size();
}

QVariant MemberListModel::data(const QModelIndex& index, int role) const
{
    if (index.parent().isValid() || index.row() < 0 || index.row() >= m_entries.size())
        return QVariant();
    const InviteEntry& e = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case UserNameRole:
        return e.userName;
    case ThumbUrlRole:
        return e.thumbUrl;
    case DeptNameRole:
        return e.deptName;
    case UserIdRole:
        return e.userId;
    default:
        return QVariant();
    }
}

void MemberListModel::setUsers(const QList<DBUser>& users)
{
    QVector<InviteEntry> entries;
    entries.reserve(users.size());
    for (const DBUser& user : users)
        entries.append(InviteDirectory::entryOf(user));
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

void MemberListModel::clear()
{
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

qint64 MemberListModel::userIdAt(int row) const
{
    return row >= 0 && row < m_entries.size() ? m_entries.at(row).userId : -1;
}
