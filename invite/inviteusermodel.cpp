#include "invite/inviteusermodel.h"

#include <algorithm>

InviteUserModel::InviteUserModel(InviteDirectory* directory, InviteSelection* selection,
                                 QObject* parent)
    : QAbstractListModel(parent), m_directory(directory), m_selection(selection)
{}

int InviteUserModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shown.size();
}

std::optional<InviteEntry> InviteUserModel::entryAt(int row) const
{
    if (row < 0 || row >= m_shown.size())
        return std::nullopt;
    return m_directory->entry(m_shown.at(row));
}

InviteSelection::Availability InviteUserModel::availabilityOf(int index) const
{
    return InviteSelection::availability(m_directory->appInstall(index),
                                         m_directory->chattAllow(index),
                                         m_selection->isFixed(m_directory->userId(index)));
}

QVariant InviteUserModel::data(const QModelIndex& index, int role) const
{
    if (index.parent().isValid() || index.row() < 0 || index.row() >= m_shown.size())
        return QVariant();
    const int i = m_shown.at(index.row());
    const InviteDirectory& d = *m_directory;
    switch (role) {
    case Qt::DisplayRole:
    case UserNameRole:
        return d.userName(i);
    case ThumbUrlRole:
        return d.thumbUrl(i);
    case DeptNameRole:
        return d.deptName(i);
    case AppInstallRole:
        return int(d.appInstall(i));
    case CheckedRole:
        return m_selection->isChosen(d.userId(i));
    case ExistRole:
        return m_selection->isFixed(d.userId(i));
    case ChattAllowRole:
        return int(d.chattAllow(i));
    case UserIdRole:
        return d.userId(i);
    case Qt::AccessibleTextRole:
        return spokenText(i);
    case AvailabilityRole:
        return int(availabilityOf(i));
    default:
        return QVariant();
    }
}

QString InviteUserModel::spokenText(int index) const
{
    const QString who = tr("%1, %2", "an invitation row read out: the name, the department")
                            .arg(m_directory->userName(index), m_directory->deptName(index));
    switch (availabilityOf(index)) {
    case InviteSelection::NotInstalled:
        return tr("%1, cannot be chosen: has not installed the program").arg(who);
    case InviteSelection::DeclinesChats:
        return tr("%1, cannot be chosen: does not accept chats").arg(who);
    case InviteSelection::FixedMember:
        return tr("%1, already in the room").arg(who);
    case InviteSelection::Available:
        break;
    }
    return m_selection->isChosen(m_directory->userId(index)) ? tr("%1, chosen").arg(who) : who;
}

Qt::ItemFlags InviteUserModel::flags(const QModelIndex& index) const
{
    if (index.parent().isValid() || index.row() < 0 || index.row() >= m_shown.size())
        return Qt::NoItemFlags;
    return availabilityOf(m_shown.at(index.row())) == InviteSelection::Available
               ? Qt::ItemIsSelectable | Qt::ItemIsEnabled
               : Qt::NoItemFlags;
}

void InviteUserModel::reload()
{
    beginResetModel();
    m_searchText.clear();
    m_typed.clear();
    m_shown = m_directory->filter(QString());
    endResetModel();
}

void InviteUserModel::setSearchText(const QString& text)
{
    QVector<int> shown;
    if (text.isEmpty()) {
        // A new search begins: its first keystroke looks at everybody again.
        m_typed.clear();
        shown = m_directory->filter(text);
    } else if (!InviteDirectory::isLiteral(text)) {
        shown = m_directory->filter(text);
    } else {
        // A plain text that extends an earlier one can only narrow its rows, and erasing back to
        // an earlier text finds its rows again: a keystroke never searches the whole directory
        // twice for the same text.
        const QString key = InviteDirectory::searchKey(text);
        while (!m_typed.isEmpty() && !key.startsWith(m_typed.last().key))
            m_typed.removeLast();
        if (!m_typed.isEmpty() && m_typed.last().key == key) {
            shown = m_typed.last().shown;
        } else {
            shown = m_directory->filter(text, m_typed.isEmpty() ? nullptr : &m_typed.last().shown);
            m_typed.append({key, shown});
        }
    }
    m_searchText = text;
    if (shown == m_shown)
        return;
    beginResetModel();
    m_shown = std::move(shown);
    endResetModel();
}

int InviteUserModel::rowOf(qint64 userId) const
{
    const int index = m_directory->indexOf(userId);
    if (index < 0)
        return -1;
    if (m_searchText.isEmpty())
        return index; // the whole list is shown in directory order
    const auto it = std::lower_bound(m_shown.begin(), m_shown.end(), index);
    return it != m_shown.end() && *it == index ? int(it - m_shown.begin()) : -1;
}

void InviteUserModel::refreshUser(qint64 userId)
{
    const int row = rowOf(userId);
    if (row < 0)
        return;
    const QModelIndex i = index(row);
    emit dataChanged(i, i, {CheckedRole, ExistRole});
}

void InviteUserModel::refreshAll()
{
    if (m_shown.isEmpty())
        return;
    emit dataChanged(index(0), index(m_shown.size() - 1), {CheckedRole, ExistRole});
}
