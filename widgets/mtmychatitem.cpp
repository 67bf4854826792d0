#include "widgets/mtmychatitem.h"
#include "ui_mtmychatitem.h"

#include "platform/shellopen.h"
#include "widgets/mtchatitemstate.h"

#include <QDebug>

MtMyChatItem::MtMyChatItem(QWidget* parent) : MtChatTextItem(parent), ui(new Ui::MtMyChatItem)
{
    ui->setupUi(this);
    setParts(true, ui->baloonGroupBox, ui->messageLabel, ui->viewAllButton, ui->readLabel,
             ui->timeLabel);
    ui->transferButton->hide();
}

MtMyChatItem::~MtMyChatItem()
{
    delete ui;
}

void MtMyChatItem::setChat(const QString& messageId, const QString& name, int senderId,
                           const QDateTime& dateTime, const QString& content, int contentType,
                           int state)
{
    setMessage(messageId, name, senderId, dateTime, content, contentType, state);
}

bool MtMyChatItem::isTransferShown() const
{
    return !ui->transferButton->isHidden();
}

bool MtMyChatItem::isTransferEnabled() const
{
    return ui->transferButton->isEnabled();
}

void MtMyChatItem::setState(int state)
{
    MtChatBaseItem::setState(state);
    const MtChatItemState view = MtChatItemState::ownText(state);
    ui->transferButton->setVisible(view.transferVisible);
    ui->transferButton->setEnabled(view.transferEnabled);
    if (view.transferVisible)
        ui->transferButton->setIcon(QIcon(view.transferPicture));
}

void MtMyChatItem::on_messageLabel_anchorClicked(const QUrl& arg1)
{
    qDebug().noquote().nospace() << "MtMyChatItem::on_messageLabel_anchorClicked arg1:"
                                 << arg1.toString();
    platformOpenUrl(arg1.toString());
}

void MtMyChatItem::on_transferButton_clicked()
{
    resendIfFailed();
}

void MtMyChatItem::on_readLabel_linkActivated(const QString&)
{
    emit readUserPopupOpened(m_messageId);
}
