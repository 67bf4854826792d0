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

const InviteEntry* InviteUserModel::entryAt(int row) const
{
    if (row < 0 || row >= m_shown.size())
        return nullptr;
    return &m_directory->entry(m_shown.at(row));
}

QVariant InviteUserModel::data(const QModelIndex& index, int role) const
{
    const InviteEntry* e = entryAt(index.row());
    if (!e || index.parent().isValid())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case UserNameRole:
        return e->userName;
    case ThumbUrlRole:
        return e->thumbUrl;
    case DeptNameRole:
        return e->deptName;
    case AppInstallRole:
        return int(e->appInstall);
    case CheckedRole:
        return m_selection->isChosen(e->userId);
    case ExistRole:
        return m_selection->isFixed(e->userId);
    case ChattAllowRole:
        return int(e->chattAllow);
    case UserIdRole:
        return e->userId;
    case Qt::AccessibleTextRole:
        return spokenText(*e);
    case AvailabilityRole:
        return int(InviteSelection::availability(e->appInstall, e->chattAllow,
                                                 m_selection->isFixed(e->userId)));
    default:
        return QVariant();
    }
}

QString InviteUserModel::spokenText(const InviteEntry& e) const
{
    const QString who = tr("%1, %2", "an invitation row read out: the name, the department")
                            .arg(e.userName, e.deptName);
    switch (
        InviteSelection::availability(e.appInstall, e.chattAllow, m_selection->isFixed(e.userId))) {
    case InviteSelection::NotInstalled:
        return tr("%1, cannot be chosen: has not installed the program").arg(who);
    case InviteSelection::DeclinesChats:
        return tr("%1, cannot be chosen: does not accept chats").arg(who);
    case InviteSelection::FixedMember:
        return tr("%1, already in the room").arg(who);
    case InviteSelection::Available:
        break;
    }
    return m_selection->isChosen(e.userId) ? tr("%1, chosen").arg(who) : who;
}

Qt::ItemFlags InviteUserModel::flags(const QModelIndex& index) const
{
    const InviteEntry* e = entryAt(index.row());
    if (!e)
        return Qt::NoItemFlags;
    const auto a = InviteSelection::availability(e->appInstall, e->chattAllow,
                                                 m_selection->isFixed(e->userId));
    return a == InviteSelection::Available ? Qt::ItemIsSelectable | Qt::ItemIsEnabled
                                           : Qt::NoItemFlags;
}

void InviteUserModel::reload()
{
    beginResetModel();
    m_searchText.clear();
    m_literal = true;
    m_shown = m_directory->filter(QString());
    endResetModel();
}

void InviteUserModel::setSearchText(const QString& text)
{
    // A literal text that extends the previous literal one can only narrow its result, so only
    // the rows shown now are looked at (one keystroke stays cheap over a large directory).
    const QVector<int> before = m_shown;
    const bool literal = InviteDirectory::isLiteral(text);
    const bool narrows = !m_searchText.isEmpty() && m_literal && literal &&
                         text.startsWith(m_searchText, Qt::CaseInsensitive);
    QVector<int> shown = m_directory->filter(text, narrows ? &before : nullptr);
    m_searchText = text;
    m_literal = literal;
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
