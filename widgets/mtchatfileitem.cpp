#include "widgets/mtchatfileitem.h"
#include "ui_mtchatfileitem.h"

#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"
#include "widgets/mtfilesize.h"
#include "widgets/mtpicture.h"

#include <QDebug>

MtChatFileItem::MtChatFileItem(QWidget* parent) : MtChatBaseItem(parent), ui(new Ui::MtChatFileItem)
{
    ui->setupUi(this);
    m_controls = MtAttachmentControls(ui->linkLabel, ui->progressGroupBox, ui->progressLabel,
                                      ui->progressBar_2);
    ui->baloonGroupBox_2->setOwn(false);
    ui->iconLabel->setPixmap(
        mtLoadPicture(QStringLiteral(":/ui/images/file.png"), devicePixelRatioF()));
    ui->fileNameLabel->setElideMode(Qt::ElideMiddle);
    ui->readLabel->hide();
    ui->progressGroupBox->hide();
    m_contentType = 4;
}

MtChatFileItem::~MtChatFileItem()
{
    delete ui;
}

void MtChatFileItem::setChat(const QString& messageId, const QPixmap& picture, const QString& name,
                             int senderId, const QDateTime& dateTime, const QString& filePath,
                             const QString& fileName, qint64 fileSize, int state)
{
    m_messageId = messageId;
    m_senderName = name;
    m_senderId = senderId;
    m_filePath = filePath;
    m_fileName = fileName;
    m_fileSize = fileSize;
    m_picture = picture;
    const QPixmap shown =
        picture.isNull() ? mtLoadPicture(QStringLiteral(":/ui/images/profile.png"), 2.0) : picture;
    ui->pictureButton->setIcon(QIcon(mtRoundPicture(shown, QSize(44, 44), devicePixelRatioF())));
    ui->titleLabel->setText(name);
    ui->timeLabel->setText(MtChatText::timeText(dateTime.time()));
    setDateTime(dateTime);
    ui->fileNameLabel->setText(fileName);
    ui->fileNameLabel->setToolTip(fileName);
    ui->fileSizeLabel->setText(mtFileSizeText(fileSize));
    savedFileCheck();
    setState(state);
}

void MtChatFileItem::setFilePath(const QString& path)
{
    m_filePath = path;
    savedFileCheck();
}

void MtChatFileItem::savedFileCheck()
{
    m_controls.savedFileCheck(m_filePath);
}

QString MtChatFileItem::readText() const
{
    return ui->readLabel->isHidden() ? QString() : ui->readLabel->text();
}

QString MtChatFileItem::linkText() const
{
    return ui->linkLabel->text();
}

QString MtChatFileItem::progressText() const
{
    return ui->progressLabel->text();
}

QString MtChatFileItem::fileSizeText() const
{
    return ui->fileSizeLabel->text();
}

void MtChatFileItem::setReadCount(int count)
{
    ui->readLabel->setText(MtChatText::readCountText(count));
    keepOnOneLine(ui->readLabel);
    ui->readLabel->setVisible(count > 0);
}

void MtChatFileItem::setState(int state)
{
    MtChatBaseItem::setState(state);
    m_controls.apply(MtChatItemState::otherAttachment(state));
    layout()->activate();
    updateListItemSize();
}

void MtChatFileItem::setProgress(int value)
{
    m_controls.setProgress(value);
}

bool MtChatFileItem::containsGlobalPos(const QPoint& globalPos) const
{
    const QWidget* box = ui->baloonGroupBox_2;
    return QRect(box->mapToGlobal(QPoint(0, 0)), box->size()).contains(globalPos);
}

void MtChatFileItem::on_linkLabel_linkActivated(const QString& link)
{
    qDebug().noquote().nospace() << "MtChatFileItem::on_linkLabel_linkActivated link:" << link;
    activateLink(link, false);
}

void MtChatFileItem::on_pictureButton_clicked()
{
    emit pictureButtonClicked(m_senderId);
}
