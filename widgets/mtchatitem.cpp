#include "widgets/mtchatitem.h"
#include "ui_mtchatitem.h"

#include "platform/shellopen.h"

#include <QDebug>

MtChatItem::MtChatItem(QWidget* parent) : MtChatTextItem(parent), ui(new Ui::MtChatItem)
{
    ui->setupUi(this);
    setParts(false, ui->baloonGroupBox, ui->messageLabel, ui->viewAllButton, ui->readLabel,
             ui->timeLabel);
}

MtChatItem::~MtChatItem()
{
    delete ui;
}

void MtChatItem::setChat(const QString& messageId, const QPixmap& picture, const QString& name,
                         int senderId, const QDateTime& dateTime, const QString& content,
                         int contentType, int state)
{
    showSender(ui->pictureButton, ui->titleLabel, picture, name);
    setMessage(messageId, name, senderId, dateTime, content, contentType, state);
}

void MtChatItem::on_messageLabel_anchorClicked(const QUrl& arg1)
{
    qDebug().noquote().nospace() << "MtChatItem::on_messageLabel_anchorClicked arg1:"
                                 << arg1.toString();
    platformOpenUrl(arg1.toString());
}

void MtChatItem::on_pictureButton_clicked()
{
    emit pictureButtonClicked(m_senderId);
}
