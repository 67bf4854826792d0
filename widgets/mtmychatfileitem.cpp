#include "widgets/mtmychatfileitem.h"
#include "ui_mtmychatfileitem.h"

#include <QDebug>

MtMyChatFileItem::MtMyChatFileItem(QWidget* parent)
    : MtChatAttachmentItem(4, parent), ui(new Ui::MtMyChatFileItem)
{
    ui->setupUi(this);
    setParts(true,
             MtAttachmentControls(ui->linkLabel, ui->progressGroupBox, ui->progressLabel,
                                  ui->progressBar, ui->transferButton),
             ui->readLabel, ui->timeLabel, ui->baloonGroupBox);
    ui->baloonGroupBox->setOwn(true);
    setUpFileBox(ui->iconLabel, ui->fileNameLabel);
}

MtMyChatFileItem::~MtMyChatFileItem()
{
    delete ui;
}

void MtMyChatFileItem::setChat(const QString& messageId, const QString& name, int senderId,
                               const QDateTime& dateTime, const QString& filePath,
                               const QString& fileName, qint64 fileSize, int state)
{
    setAttachment(messageId, name, senderId, dateTime, filePath, fileName);
    m_fileSize = fileSize;
    showFile(ui->fileNameLabel, ui->fileSizeLabel, fileSize);
    savedFileCheck();
    setState(state);
}

QString MtMyChatFileItem::fileSizeText() const
{
    return ui->fileSizeLabel->text();
}

void MtMyChatFileItem::on_linkLabel_linkActivated(const QString& link)
{
    qDebug().noquote().nospace() << "MtChatFileItem::on_linkLabel_linkActivated link:" << link;
    activateLink(link, false);
}

void MtMyChatFileItem::on_transferButton_clicked()
{
    resendIfFailed();
}

void MtMyChatFileItem::on_readLabel_linkActivated(const QString&)
{
    emit readUserPopupOpened(m_messageId);
}
