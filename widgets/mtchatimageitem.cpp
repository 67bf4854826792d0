#include "widgets/mtchatimageitem.h"
#include "ui_mtchatimageitem.h"

#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchatthumbnail.h"
#include "widgets/mtpicture.h"

#include <QDebug>
#include <QFileInfo>

MtChatImageItem::MtChatImageItem(QWidget* parent)
    : MtChatBaseItem(parent), ui(new Ui::MtChatImageItem)
{
    ui->setupUi(this);
    m_controls = MtAttachmentControls(ui->linkLabel, ui->progressGroupBox, ui->progressLabel,
                                      ui->progressBar);
    ui->readLabel->hide();
    ui->progressGroupBox->hide();
    m_contentType = 2;
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
    m_messageId = messageId;
    m_senderName = name;
    m_senderId = senderId;
    m_filePath = filePath;
    m_fileName = fileName;
    m_contentType = contentType;
    m_width = width;
    m_height = height;
    m_picture = picture;
    const QPixmap shown =
        picture.isNull() ? mtLoadPicture(QStringLiteral(":/ui/images/profile.png"), 2.0) : picture;
    ui->pictureButton->setIcon(QIcon(mtRoundPicture(shown, QSize(44, 44), devicePixelRatioF())));
    ui->titleLabel->setText(name);
    ui->timeLabel->setText(MtChatText::timeText(dateTime.time()));
    setDateTime(dateTime);
    setImage(image);
    savedFileCheck();
    setState(state);
}

void MtChatImageItem::setImage(const QPixmap& image)
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

void MtChatImageItem::setFilePath(const QString& path)
{
    m_filePath = path;
    savedFileCheck();
}

void MtChatImageItem::savedFileCheck()
{
    m_controls.savedFileCheck(m_filePath);
}

QString MtChatImageItem::readText() const
{
    return ui->readLabel->isHidden() ? QString() : ui->readLabel->text();
}

QString MtChatImageItem::linkText() const
{
    return ui->linkLabel->text();
}

QString MtChatImageItem::progressText() const
{
    return ui->progressLabel->text();
}

QSize MtChatImageItem::imageButtonSize() const
{
    return QSize(ui->imageButton->maximumWidth(), ui->imageButton->maximumHeight());
}

void MtChatImageItem::setReadCount(int count)
{
    ui->readLabel->setText(MtChatText::readCountText(count));
    keepOnOneLine(ui->readLabel);
    ui->readLabel->setVisible(count > 0);
}

void MtChatImageItem::setState(int state)
{
    MtChatBaseItem::setState(state);
    m_controls.apply(MtChatItemState::otherAttachment(state));
    layout()->activate();
    updateListItemSize();
}

void MtChatImageItem::setProgress(int value)
{
    m_controls.setProgress(value);
}

bool MtChatImageItem::containsGlobalPos(const QPoint& globalPos) const
{
    const QWidget* box = ui->imageButton;
    return QRect(box->mapToGlobal(QPoint(0, 0)), box->size()).contains(globalPos);
}

void MtChatImageItem::on_imageButton_clicked()
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

void MtChatImageItem::on_linkLabel_linkActivated(const QString& link)
{
    qDebug().noquote().nospace() << "MtChatImageItem::on_linkLabel_linkActivated link:" << link;
    activateLink(link, m_contentType == 2);
}

void MtChatImageItem::on_pictureButton_clicked()
{
    emit pictureButtonClicked(m_senderId);
}
