#pragma once

#include "invite/invitedirectory.h"
#include "invite/inviteselection.h"

#include <QDialog>
#include <QList>

class DBManager;
class DBUser;
class InvitePictures;
class InviteUserModel;
class MtFrameLess;
class MtSearchLineEdit;
class NetServerManager;

namespace Ui {
class ChatInviteDialog;
}

// The modal dialog in which the user picks people from the organisation directory: for a new
// conversation (room type -1, empty members), to widen a one-to-one room (20, or 40 when left;
// members = the partner's id) into a new room, or to add people to a one-to-many room (30;
// members = comma-separated ids). It reads the directory from the store and never talks to the
// server: the choice leaves through `newChatRoomOk` or `inviteAddMember`.
//
//     ChatInviteDialog dialog(session->db(), ownUserId, this);
//     dialog.setPictureSource(session->net());          // optional: fetch missing thumbnails
//     if (dialog.setData(members, roomType)) {
//         connect(&dialog, &ChatInviteDialog::newChatRoomOk, this, &X::newChatRoom);
//         connect(&dialog, &ChatInviteDialog::inviteAddMember, this, &X::inviteAddMember);
//         dialog.exec();
//     }
class ChatInviteDialog : public QDialog
{
    Q_OBJECT
public:
    ChatInviteDialog(DBManager* db, qint64 ownUserId, QWidget* parent = nullptr);
    ~ChatInviteDialog() override;

    void setPictureSource(NetServerManager* net);
    // Reads the directory and fixes the room's members; false when the directory could not be
    // read (the dialog then lists nobody).
    bool setData(const QString& members, int roomType);

    // For tests and callers that look inside.
    const InviteSelection& selection() const { return m_selection; }
    InviteUserModel* model() const { return m_model; }
    MtSearchLineEdit* searchLineEdit() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // Every chosen user id for a new room; never empty.
    void newChatRoomOk(QList<int> userList);
    // The people to add to the one-to-many room; never empty (nothing is sent for nobody new).
    void inviteAddMember(QList<int> addUserList);

public slots:
    void clearInviteListWidget();
    void clearSelectListWidget();
    void on_closePushButton_clicked();
    void on_exitPushButton_clicked();
    void on_okPushButton_clicked();
    void on_inviteListView_clicked(const QModelIndex& index);
    void on_inviteListView_movedToBottom();
    void removeItem(const DBUser& user);
    void on_searchLineEdit_searchText(const QString& text);

private:
    void rebuildChips();
    DBUser userFor(qint64 userId) const;

    Ui::ChatInviteDialog* ui;
    DBManager* m_db;
    qint64 m_ownUserId;
    QString m_members;
    int m_roomType = InviteSelection::kNewConversation;
    InviteDirectory m_directory;
    InviteSelection m_selection;
    InviteUserModel* m_model;
    InvitePictures* m_pictures;
    MtFrameLess* m_frameLess;
};
