#include "main/chatroomitem.h"
#include "ui_chatroomitem.h"

ChatRoomItem::ChatRoomItem(QWidget* parent) : QFrame(parent), ui(new Ui::ChatRoomItem)
{
    ui->setupUi(this);
    ui->memberCountLabel->hide();
    ui->unreadCountLabel->hide();
}

QString ChatRoomItem::rowStyleSheet()
{
    return QStringLiteral(
        "ChatRoomItem { outline: none; border: none; border-bottom: 1px solid #D2D2D2; }"
        "ChatRoomItem #iconButton { border: none; outline: none; }"
        "ChatRoomItem #titleLabel { font-size: 10pt; }"
        "ChatRoomItem #memberCountLabel { font-size: 8pt; color: rgb(170, 171, 171); "
        "background-image: url(:/images/people_count.png); background-repeat: no-repeat; "
        "background-position: left center; padding-left: 21px; }"
        "ChatRoomItem #dateTimeLabel { font-size: 9pt; color: rgb(130, 130, 130); }"
        "ChatRoomItem #messageLabel { color: rgb(90, 90, 90); }"
        "ChatRoomItem #unreadCountLabel { color: white; background-color: #EB2724; "
        "border-radius: 10px; padding-left: 3px; padding-right: 3px; }");
}

ChatRoomItem::~ChatRoomItem()
{
    delete ui;
}

void ChatRoomItem::setRow(const ChatRoomRow& row, const QString& longTime)
{
    ui->titleLabel->setText(row.title);
    ui->memberCountLabel->setText(row.memberCount);
    ui->memberCountLabel->setVisible(!row.memberCount.isEmpty());
    ui->dateTimeLabel->setText(row.time);
    ui->dateTimeLabel->setToolTip(longTime);
    ui->messageLabel->setText(row.message);
    ui->unreadCountLabel->setText(row.badge);
    ui->unreadCountLabel->setVisible(!row.badge.isEmpty());
}

ChatRoomRow ChatRoomItem::row() const
{
    ChatRoomRow row;
    row.title = ui->titleLabel->text();
    row.memberCount =
        ui->memberCountLabel->isVisibleTo(this) ? ui->memberCountLabel->text() : QString();
    row.time = ui->dateTimeLabel->text();
    row.message = ui->messageLabel->text();
    row.badge = ui->unreadCountLabel->isVisibleTo(this) ? ui->unreadCountLabel->text() : QString();
    return row;
}

void ChatRoomItem::setMembers(int roomType, const QString& members, qint64 ownUserId)
{
    m_roomType = roomType;
    m_members = members;
    m_ownUserId = ownUserId;
}

void ChatRoomItem::setPicture(const QPixmap& picture)
{
    ui->iconButton->setIcon(QIcon(picture));
}

QSize ChatRoomItem::pictureSize() const
{
    return ui->iconButton->iconSize();
}

void ChatRoomItem::on_iconButton_clicked()
{
    const qint64 userId = ChatRoomRowText::singleOtherMember(m_roomType, m_members, m_ownUserId);
    if (userId != 0)
        emit clickedMemberIcon(int(userId));
}
