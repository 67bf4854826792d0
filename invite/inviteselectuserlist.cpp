#include "invite/inviteselectuserlist.h"

#include "invite/chatinviteselectitem.h"

InviteSelectUserList::InviteSelectUserList(QWidget* parent) : QListWidget(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::NoSelection);
}

ChatInviteSelectItem* InviteSelectUserList::itemAt(int row) const
{
    return qobject_cast<ChatInviteSelectItem*>(itemWidget(item(row)));
}

qint64 InviteSelectUserList::userIdAt(int row) const
{
    const ChatInviteSelectItem* chip = itemAt(row);
    return chip ? chip->user().userId() : -1;
}

int InviteSelectUserList::findIndexByUserId(qint64 userId) const
{
    for (int row = 0; row < count(); ++row) {
        if (userIdAt(row) == userId)
            return row;
    }
    return -1;
}

ChatInviteSelectItem* InviteSelectUserList::addUser(const DBUser& user, bool exist)
{
    auto* chip = new ChatInviteSelectItem(user);
    auto* row = new QListWidgetItem(this);
    row->setSizeHint(chip->sizeHint() + QSize(1, 1));
    // The chip is a widget over the row; a screen reader reads the row itself.
    row->setData(Qt::AccessibleTextRole,
                 exist ? tr("%1, already in the room").arg(user.userName()) : user.userName());
    if (exist) {
        row->setFlags(Qt::NoItemFlags);
        chip->setEnabled(false);
    }
    setItemWidget(row, chip);
    return chip;
}

bool InviteSelectUserList::removeUser(qint64 userId)
{
    const int row = findIndexByUserId(userId);
    if (row < 0)
        return false;
    QListWidgetItem* gone = takeItem(row);
    delete gone; // its widget goes with it
    return true;
}

QList<qint64> InviteSelectUserList::userIds() const
{
    QList<qint64> ids;
    for (int row = 0; row < count(); ++row)
        ids.append(userIdAt(row));
    return ids;
}
