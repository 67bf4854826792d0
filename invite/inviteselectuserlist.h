#pragma once

#include <QListWidget>

class ChatInviteSelectItem;
class DBUser;

// The chosen people of the invitation dialog, one chip per row, in the order they were chosen.
class InviteSelectUserList : public QListWidget
{
    Q_OBJECT
public:
    explicit InviteSelectUserList(QWidget* parent = nullptr);

    // The user id of a row, -1 when the row has no chip.
    qint64 userIdAt(int row) const;
    // The row of a user, -1 when absent.
    int findIndexByUserId(qint64 userId) const;
    ChatInviteSelectItem* itemAt(int row) const;
    // A fixed member's chip gets no item flags and cannot be removed.
    ChatInviteSelectItem* addUser(const DBUser& user, bool exist);
    bool removeUser(qint64 userId);
    // Every chosen user id, top to bottom.
    QList<qint64> userIds() const;
};
