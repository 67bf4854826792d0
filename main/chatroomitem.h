#pragma once

#include "main/chatroomrowtext.h"

#include <QFrame>

namespace Ui {
class ChatRoomItem;
}

// The widget of one room list row: the room's picture, name, member count, time, newest message
// and unread badge. It shows what the list's item holds (ChatRoomRowState) and keeps nothing the
// list could lose when it drops the widget of a row scrolled far away.
class ChatRoomItem : public QFrame
{
    Q_OBJECT
public:
    explicit ChatRoomItem(QWidget* parent = nullptr);
    ~ChatRoomItem() override;

    // The rows' look, for the list that holds them: set there once, every row shares one parsed
    // style; set on each row, each parsed its own.
    static QString rowStyleSheet();

    // Shows the row's texts; `longTime` becomes the time's tool tip.
    void setRow(const ChatRoomRow& row, const QString& longTime);
    // The texts shown, read back from the labels.
    ChatRoomRow row() const;
    // The members behind the picture, for a click on it.
    void setMembers(int roomType, const QString& members, qint64 ownUserId);
    void setPicture(const QPixmap& picture);
    QSize pictureSize() const;

signals:
    void clickedMemberIcon(int userId);

public slots:
    void on_iconButton_clicked();

private:
    Ui::ChatRoomItem* ui;
    int m_roomType = 0;
    QString m_members;
    qint64 m_ownUserId = 0;
};
