#include "widgets/mtmychatfileitem.h"
#include "ui_mtmychatfileitem.h"

#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"
#include "widgets/mtfilesize.h"
#include "widgets/mtpicture.h"

#include <QDebug>

MtMyChatFileItem::MtMyChatFileItem(QWidget* parent)
    : MtChatBaseItem(parent), ui(new Ui::MtMyChatFileItem)
{
    ui->setupUi(this);
    m_controls = MtAttachmentControls(ui->linkLabel, ui->progressGroupBox, ui->progressLabel,
                                      ui->progressBar, ui->transferButton);
    ui->baloonGroupBox->setOwn(true);
    ui->iconLabel->setPixmap(
        mtLoadPicture(QStringLiteral(":/ui/images/file.png"), devicePixelRatioF()));
    ui->fileNameLabel->setElideMode(Qt::ElideMiddle);
    ui->readLabel->hide();
    ui->transferButton->hide();
    ui->progressGroupBox->hide();
    m_contentType = 4;
}

MtMyChatFileItem::~MtMyChatFileItem()
{
    delete ui;
}

void MtMyChatFileItem::setChat(const QString& messageId, const QString& name, int senderId,
                               const QDateTime& dateTime, const QString& filePath,
                               const QString& fileName, qint64 fileSize, int state)
{
    m_messageId = messageId;
    m_senderName = name;
    m_senderId = senderId;
    m_filePath = filePath;
    m_fileName = fileName;
    m_fileSize = fileSize;
    ui->timeLabel->setText(MtChatText::timeText(dateTime.time()));
    setDateTime(dateTime);
    ui->fileNameLabel->setText(fileName);
    ui->fileNameLabel->setToolTip(fileName);
    ui->fileSizeLabel->setText(mtFileSizeText(fileSize));
    savedFileCheck();
    setState(state);
}

void MtMyChatFileItem::setFilePath(const QString& path)
{
    m_filePath = path;
    savedFileCheck();
}

void MtMyChatFileItem::savedFileCheck()
{
    m_controls.savedFileCheck(m_filePath);
}

QString MtMyChatFileItem::readText() const
{
    return ui->readLabel->isHidden() ? QString() : ui->readLabel->text();
}

QString MtMyChatFileItem::linkText() const
{
    return ui->linkLabel->text();
}

QString MtMyChatFileItem::progressText() const
{
    return ui->progressLabel->text();
}

QString MtMyChatFileItem::fileSizeText() const
{
    return ui->fileSizeLabel->text();
}

void MtMyChatFileItem::setReadCount(int count)
{
    ui->readLabel->setText(MtChatText::readCountLink(m_messageId, count));
    keepOnOneLine(ui->readLabel);
    ui->readLabel->setVisible(count > 0);
}

void MtMyChatFileItem::setState(int state)
{
    MtChatBaseItem::setState(state);
    m_controls.apply(MtChatItemState::ownAttachment(state));
    layout()->activate();
    updateListItemSize();
}

void MtMyChatFileItem::setProgress(int value)
{
    m_controls.setProgress(value);
}

bool MtMyChatFileItem::containsGlobalPos(const QPoint& globalPos) const
{
    const QWidget* box = ui->baloonGroupBox;
    return QRect(box->mapToGlobal(QPoint(0, 0)), box->size()).contains(globalPos);
}

void MtMyChatFileItem::on_linkLabel_linkActivated(const QString& link)
{
    qDebug().noquote().nospace() << "MtChatFileItem::on_linkLabel_linkActivated link:" << link;
    activateLink(link, false);
}

void MtMyChatFileItem::on_transferButton_clicked()
{
    if (MtChatItemState::resendAllowed(m_state))
        emit resendClicked(m_messageId);
}

void MtMyChatFileItem::on_readLabel_linkActivated(const QString&)
{
    emit readUserPopupOpened(m_messageId);
}
