#include "widgets/mtchatitem.h"
#include "ui_mtchatitem.h"

#include "platform/shellopen.h"
#include "widgets/mtchattext.h"
#include "widgets/mtpicture.h"

#include <QDebug>

MtChatItem::MtChatItem(QWidget* parent) : MtChatBaseItem(parent), ui(new Ui::MtChatItem)
{
    ui->setupUi(this);
    ui->baloonGroupBox->setOwn(false);
    ui->viewAllButton->hide();
    ui->readLabel->hide();
    connect(ui->messageLabel, &MtChatTextBrowser::documentHeightChanged, this,
            [this] { fitMessageBox(ui->baloonGroupBox, ui->messageLabel, ui->viewAllButton); });
}

MtChatItem::~MtChatItem()
{
    delete ui;
}

void MtChatItem::setChat(const QString& messageId, const QPixmap& picture, const QString& name,
                         int senderId, const QDateTime& dateTime, const QString& content,
                         int contentType, int state)
{
    m_messageId = messageId;
    m_senderName = name;
    m_senderId = senderId;
    m_content = content;
    m_contentType = contentType;
    m_picture = picture;
    setDateTime(dateTime);
    setState(state);
    const QPixmap shown =
        picture.isNull() ? mtLoadPicture(QStringLiteral(":/ui/images/profile.png"), 2.0) : picture;
    ui->pictureButton->setIcon(QIcon(mtRoundPicture(shown, QSize(44, 44), devicePixelRatioF())));
    ui->titleLabel->setText(name);
    ui->viewAllButton->setVisible(contentType == 4);
    ui->messageLabel->setMessage(content);
    limitMessageBox(ui->baloonGroupBox, ui->messageLabel);
    fitMessageBox(ui->baloonGroupBox, ui->messageLabel, ui->viewAllButton);
}

MtChatTextBrowser* MtChatItem::messageBox() const
{
    return ui->messageLabel;
}

QString MtChatItem::readText() const
{
    return ui->readLabel->isHidden() ? QString() : ui->readLabel->text();
}

QString MtChatItem::timeText() const
{
    return ui->timeLabel->text();
}

void MtChatItem::setDateTime(const QDateTime& dateTime)
{
    MtChatBaseItem::setDateTime(dateTime);
    ui->timeLabel->setText(MtChatText::timeText(dateTime.time()));
}

void MtChatItem::setReadCount(int count)
{
    ui->readLabel->setText(MtChatText::readCountText(count));
    keepOnOneLine(ui->readLabel);
    ui->readLabel->setVisible(count > 0);
}

void MtChatItem::setHighlight(const QString& text)
{
    ui->messageLabel->setHighlight(text);
}

void MtChatItem::removeHighlight()
{
    ui->messageLabel->removeHighlight();
}

bool MtChatItem::containsGlobalPos(const QPoint& globalPos) const
{
    const QWidget* box = ui->messageLabel;
    return QRect(box->mapToGlobal(QPoint(0, 0)), box->size()).contains(globalPos);
}

void MtChatItem::copyText()
{
    ui->messageLabel->copyText();
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

void MtChatItem::on_viewAllButton_clicked()
{
    emit textOpened(m_messageId);
}
