#include "widgets/mtmychatimageitem.h"
#include "ui_mtmychatimageitem.h"

#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchatthumbnail.h"
#include "widgets/mtpicture.h"

#include <QDebug>
#include <QFileInfo>

MtMyChatImageItem::MtMyChatImageItem(QWidget* parent)
    : MtChatBaseItem(parent), ui(new Ui::MtMyChatImageItem)
{
    ui->setupUi(this);
    m_controls = MtAttachmentControls(ui->linkLabel, ui->progressGroupBox, ui->progressLabel,
                                      ui->progressBar, ui->transferButton);
    ui->readLabel->hide();
    ui->transferButton->hide();
    ui->progressGroupBox->hide();
    m_contentType = 2;
}

MtMyChatImageItem::~MtMyChatImageItem()
{
    delete ui;
}

void MtMyChatImageItem::setChat(const QString& messageId, const QString& name, int senderId,
                                const QDateTime& dateTime, const QString& filePath,
                                const QString& fileName, const QPixmap& image, int width,
                                int height, int contentType, int state)
{
    m_messageId = messageId;
    m_senderName = name;
    m_senderId = senderId;
    m_filePath = filePath;
    m_fileName = fileName;
    m_contentType = contentType;
    m_width = width;
    m_height = height;
    ui->timeLabel->setText(MtChatText::timeText(dateTime.time()));
    setDateTime(dateTime);
    setImage(image);
    savedFileCheck();
    setState(state);
}

void MtMyChatImageItem::setImage(const QPixmap& image)
{
    m_image = image;
    const QPixmap thumbnail = mtChatThumbnail(image, ui->imageButton->baseSize(), m_width, m_height,
                                              m_contentType == 3, devicePixelRatioF());
    const QSize size = (QSizeF(thumbnail.size()) / thumbnail.devicePixelRatio()).toSize();
    ui->imageButton->setIcon(QIcon(thumbnail));
    ui->imageButton->setIconSize(size);
    ui->imageButton->setFixedHeight(size.height());
    if (ui->imageButton->minimumWidth() > size.width() ||
        ui->imageButton->maximumWidth() != size.width()) {
        ui->imageButton->setMinimumWidth(size.width());
        ui->imageButton->setMaximumWidth(size.width());
    }
    layout()->activate();
    updateListItemSize();
}

void MtMyChatImageItem::setFilePath(const QString& path)
{
    m_filePath = path;
    savedFileCheck();
}

void MtMyChatImageItem::savedFileCheck()
{
    m_controls.savedFileCheck(m_filePath);
}

QString MtMyChatImageItem::readText() const
{
    return ui->readLabel->isHidden() ? QString() : ui->readLabel->text();
}

QString MtMyChatImageItem::linkText() const
{
    return ui->linkLabel->text();
}

QString MtMyChatImageItem::progressText() const
{
    return ui->progressLabel->text();
}

QSize MtMyChatImageItem::imageButtonSize() const
{
    return QSize(ui->imageButton->maximumWidth(), ui->imageButton->maximumHeight());
}

void MtMyChatImageItem::setReadCount(int count)
{
    ui->readLabel->setText(MtChatText::readCountLink(m_messageId, count));
    keepOnOneLine(ui->readLabel);
    ui->readLabel->setVisible(count > 0);
}

void MtMyChatImageItem::setState(int state)
{
    MtChatBaseItem::setState(state);
    m_controls.apply(MtChatItemState::ownAttachment(state));
    layout()->activate();
    updateListItemSize();
}

void MtMyChatImageItem::setProgress(int value)
{
    m_controls.setProgress(value);
}

bool MtMyChatImageItem::containsGlobalPos(const QPoint& globalPos) const
{
    const QWidget* box = ui->imageButton;
    return QRect(box->mapToGlobal(QPoint(0, 0)), box->size()).contains(globalPos);
}

void MtMyChatImageItem::on_imageButton_clicked()
{
    if (m_contentType == 2) {
        emit imageOpened(m_messageId);
        return;
    }
    if (!m_filePath.isEmpty() && QFileInfo(m_filePath).isFile())
        emit fileOpened(m_filePath);
    else
        emit saveFile(m_messageId, false);
}

void MtMyChatImageItem::on_linkLabel_linkActivated(const QString& link)
{
    qDebug().noquote().nospace() << "MtChatImageItem::on_linkLabel_linkActivated link:" << link;
    activateLink(link, m_contentType == 2);
}

void MtMyChatImageItem::on_transferButton_clicked()
{
    if (MtChatItemState::resendAllowed(m_state))
        emit resendClicked(m_messageId);
}

void MtMyChatImageItem::on_readLabel_linkActivated(const QString&)
{
    emit readUserPopupOpened(m_messageId);
}
