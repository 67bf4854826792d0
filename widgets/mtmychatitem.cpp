#include "widgets/mtmychatitem.h"
#include "ui_mtmychatitem.h"

#include "platform/shellopen.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"

#include <QDebug>

MtMyChatItem::MtMyChatItem(QWidget* parent) : MtChatBaseItem(parent), ui(new Ui::MtMyChatItem)
{
    ui->setupUi(this);
    ui->baloonGroupBox->setOwn(true);
    ui->viewAllButton->hide();
    ui->readLabel->hide();
    ui->transferButton->hide();
    connect(ui->messageLabel, &MtChatTextBrowser::documentHeightChanged, this,
            [this] { fitMessageBox(ui->baloonGroupBox, ui->messageLabel, ui->viewAllButton); });
}

MtMyChatItem::~MtMyChatItem()
{
    delete ui;
}

void MtMyChatItem::setChat(const QString& messageId, const QString& name, int senderId,
                           const QDateTime& dateTime, const QString& content, int contentType,
                           int state)
{
    m_messageId = messageId;
    m_senderName = name;
    m_senderId = senderId;
    m_content = content;
    m_contentType = contentType;
    setDateTime(dateTime);
    setState(state);
    ui->viewAllButton->setVisible(contentType == 4);
    ui->messageLabel->setMessage(content);
    limitMessageBox(ui->baloonGroupBox, ui->messageLabel);
    fitMessageBox(ui->baloonGroupBox, ui->messageLabel, ui->viewAllButton);
}

MtChatTextBrowser* MtMyChatItem::messageBox() const
{
    return ui->messageLabel;
}

QString MtMyChatItem::readText() const
{
    return ui->readLabel->isHidden() ? QString() : ui->readLabel->text();
}

QString MtMyChatItem::timeText() const
{
    return ui->timeLabel->text();
}

bool MtMyChatItem::isTransferShown() const
{
    return !ui->transferButton->isHidden();
}

bool MtMyChatItem::isTransferEnabled() const
{
    return ui->transferButton->isEnabled();
}

void MtMyChatItem::setDateTime(const QDateTime& dateTime)
{
    MtChatBaseItem::setDateTime(dateTime);
    ui->timeLabel->setText(MtChatText::timeText(dateTime.time()));
}

void MtMyChatItem::setReadCount(int count)
{
    ui->readLabel->setText(MtChatText::readCountLink(m_messageId, count));
    keepOnOneLine(ui->readLabel);
    ui->readLabel->setVisible(count > 0);
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

void MtMyChatItem::setHighlight(const QString& text)
{
    ui->messageLabel->setHighlight(text);
}

void MtMyChatItem::removeHighlight()
{
    ui->messageLabel->removeHighlight();
}

bool MtMyChatItem::containsGlobalPos(const QPoint& globalPos) const
{
    const QWidget* box = ui->messageLabel;
    return QRect(box->mapToGlobal(QPoint(0, 0)), box->size()).contains(globalPos);
}

void MtMyChatItem::copyText()
{
    ui->messageLabel->copyText();
}

void MtMyChatItem::on_messageLabel_anchorClicked(const QUrl& arg1)
{
    qDebug().noquote().nospace() << "MtMyChatItem::on_messageLabel_anchorClicked arg1:"
                                 << arg1.toString();
    platformOpenUrl(arg1.toString());
}

void MtMyChatItem::on_transferButton_clicked()
{
    if (MtChatItemState::resendAllowed(m_state))
        emit resendClicked(m_messageId);
}

void MtMyChatItem::on_viewAllButton_clicked()
{
    emit textOpened(m_messageId);
}

void MtMyChatItem::on_readLabel_linkActivated(const QString&)
{
    emit readUserPopupOpened(m_messageId);
}
