#include "widgets/mtchatimageitem.h"
#include "ui_mtchatimageitem.h"

#include <QDebug>

MtChatImageItem::MtChatImageItem(QWidget* parent)
    : MtChatAttachmentItem(2, parent), ui(new Ui::MtChatImageItem)
{
    ui->setupUi(this);
    setParts(false,
             MtAttachmentControls(ui->linkLabel, ui->progressGroupBox, ui->progressLabel,
                                  ui->progressBar),
             ui->readLabel, ui->timeLabel, ui->imageButton);
}

MtChatImageItem::~MtChatImageItem()
{
    delete ui;
}

void MtChatImageItem::setChat(const QString& messageId, const QPixmap& picture, const QString& name,
                              int senderId, const QDateTime& dateTime, const QString& filePath,
                              const QString& fileName, const QPixmap& image, int width, int height,
                              int contentType, int state)
{
    setAttachment(messageId, name, senderId, dateTime, filePath, fileName);
    m_contentType = contentType;
    m_width = width;
    m_height = height;
    showSender(ui->pictureButton, ui->titleLabel, picture, name);
    setImage(image);
    savedFileCheck();
    setState(state);
}

void MtChatImageItem::setImage(const QPixmap& image)
{
    m_image = image;
    showThumbnail(ui->imageButton, image, m_width, m_height);
}

QSize MtChatImageItem::imageButtonSize() const
{
    return QSize(ui->imageButton->maximumWidth(), ui->imageButton->maximumHeight());
}

void MtChatImageItem::on_imageButton_clicked()
{
    openMedia();
}

void MtChatImageItem::on_linkLabel_linkActivated(const QString& link)
{
    qDebug().noquote().nospace() << "MtChatImageItem::on_linkLabel_linkActivated link:" << link;
    activateLink(link, m_contentType == 2);
}

void MtChatImageItem::on_pictureButton_clicked()
{
    emit pictureButtonClicked(m_senderId);
}
