#pragma once

#include <QDialog>
#include <QList>

class DBUser;
class InvitePictures;
class MemberListModel;
class NetServerManager;

namespace Ui {
class MembersDialog;
}

// The small modal list of people: a room's members or the readers of a message. Only shows;
// a click on a person reports `memberClicked` (the caller opens its profile pop-up). Rows are
// painted, not widgets, so a group of thousands opens at once.
//
//     MembersDialog dialog(this);
//     dialog.setPictureSource(session->net());   // optional: fetch missing thumbnails
//     dialog.setMembers(users);                   // or dialog.setReaders(readers)
//     connect(&dialog, &MembersDialog::memberClicked, this, &X::showProfile);
//     dialog.exec();
class MembersDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kTitleHeight = 35;
    static constexpr int kVisibleRows = 5;

    explicit MembersDialog(QWidget* parent = nullptr);
    ~MembersDialog() override;

    // The height of the list for `count` people: one row each up to five, then five rows and a
    // scroll bar.
    static int listHeight(int count);

    void setPictureSource(NetServerManager* net);
    void setMembers(const QList<DBUser>& users);
    void setReaders(const QList<DBUser>& users);

    QString title() const;
    MemberListModel* model() const { return m_model; }

signals:
    void memberClicked(int userId);

public slots:
    void reset();
    void on_exitPushButton_clicked();

private:
    void fill(const QList<DBUser>& users);

    Ui::MembersDialog* ui;
    MemberListModel* m_model;
    InvitePictures* m_pictures;
};
