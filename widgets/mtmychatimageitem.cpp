#include "widgets/mtmychatimageitem.h"
#include "ui_mtmychatimageitem.h"

#include <QDebug>

MtMyChatImageItem::MtMyChatImageItem(QWidget* parent)
    : MtChatAttachmentItem(2, parent), ui(new Ui::MtMyChatImageItem)
{
    ui->setupUi(this);
    setParts(true,
             MtAttachmentControls(ui->linkLabel, ui->progressGroupBox, ui->progressLabel,
                                  ui->progressBar, ui->transferButton),
             ui->readLabel, ui->timeLabel, ui->imageButton);
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
    setAttachment(messageId, name, senderId, dateTime, filePath, fileName);
    m_contentType = contentType;
    m_width = width;
    m_height = height;
    setImage(image);
    savedFileCheck();
    setState(state);
}

void MtMyChatImageItem::setImage(const QPixmap& image)
{
    m_image = image;
    showThumbnail(ui->imageButton, image, m_width, m_height);
}

QSize MtMyChatImageItem::imageButtonSize() const
{
    return QSize(ui->imageButton->maximumWidth(), ui->imageButton->maximumHeight());
}

void MtMyChatImageItem::on_imageButton_clicked()
{
    openMedia();
}

void MtMyChatImageItem::on_linkLabel_linkActivated(const QString& link)
{
    qDebug().noquote().nospace() << "MtChatImageItem::on_linkLabel_linkActivated link:" << link;
    activateLink(link, m_contentType == 2);
}

void MtMyChatImageItem::on_transferButton_clicked()
{
    resendIfFailed();
}

void MtMyChatImageItem::on_readLabel_linkActivated(const QString&)
{
    emit readUserPopupOpened(m_messageId);
}
