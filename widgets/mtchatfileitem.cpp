#include "widgets/mtchatfileitem.h"
#include "ui_mtchatfileitem.h"

#include <QDebug>

MtChatFileItem::MtChatFileItem(QWidget* parent)
    : MtChatAttachmentItem(4, parent), ui(new Ui::MtChatFileItem)
{
    ui->setupUi(this);
    setParts(false,
             MtAttachmentControls(ui->linkLabel, ui->progressGroupBox, ui->progressLabel,
                                  ui->progressBar_2),
             ui->readLabel, ui->timeLabel, ui->baloonGroupBox_2);
    ui->baloonGroupBox_2->setOwn(false);
    setUpFileBox(ui->iconLabel, ui->fileNameLabel);
}

MtChatFileItem::~MtChatFileItem()
{
    delete ui;
}

void MtChatFileItem::setChat(const QString& messageId, const QPixmap& picture, const QString& name,
                             int senderId, const QDateTime& dateTime, const QString& filePath,
                             const QString& fileName, qint64 fileSize, int state)
{
    setAttachment(messageId, name, senderId, dateTime, filePath, fileName);
    m_fileSize = fileSize;
    showSender(ui->pictureButton, ui->titleLabel, picture, name);
    showFile(ui->fileNameLabel, ui->fileSizeLabel, fileSize);
    savedFileCheck();
    setState(state);
}

QString MtChatFileItem::fileSizeText() const
{
    return ui->fileSizeLabel->text();
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
