#include "widgets/mtchatattachmentitem.h"

#include "widgets/elidelabel.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchatthumbnail.h"
#include "widgets/mtfilesize.h"
#include "widgets/mtpicture.h"

#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QPushButton>

MtChatAttachmentItem::MtChatAttachmentItem(int contentType, QWidget* parent)
    : MtChatBaseItem(parent)
{
    m_contentType = contentType;
}

void MtChatAttachmentItem::setParts(bool own, const MtAttachmentControls& controls,
                                    QLabel* readLabel, QLabel* timeLabel, QWidget* box)
{
    m_own = own;
    m_controls = controls;
    m_readLabel = readLabel;
    m_timeLabel = timeLabel;
    m_box = box;
    m_readLabel->hide();
    m_controls.hideProgress();
}

void MtChatAttachmentItem::setAttachment(const QString& messageId, const QString& name,
                                         int senderId, const QDateTime& dateTime,
                                         const QString& filePath, const QString& fileName)
{
    m_messageId = messageId;
    m_senderName = name;
    m_senderId = senderId;
    m_filePath = filePath;
    m_fileName = fileName;
    m_timeLabel->setText(MtChatText::timeText(dateTime.time()));
    setDateTime(dateTime);
}

void MtChatAttachmentItem::setFilePath(const QString& path)
{
    m_filePath = path;
    savedFileCheck();
}

void MtChatAttachmentItem::savedFileCheck()
{
    m_controls.savedFileCheck(m_filePath);
}

QString MtChatAttachmentItem::readText() const
{
    return shownText(m_readLabel);
}

QString MtChatAttachmentItem::linkText() const
{
    return m_controls.linkText();
}

QString MtChatAttachmentItem::progressText() const
{
    return m_controls.progressText();
}

void MtChatAttachmentItem::setReadCount(int count)
{
    MtChatBaseItem::setReadCount(count);
    showReadCount(m_readLabel, count, m_own);
}

void MtChatAttachmentItem::setState(int state)
{
    MtChatBaseItem::setState(state);
    m_controls.apply(m_own ? MtChatItemState::ownAttachment(state)
                           : MtChatItemState::otherAttachment(state));
    layout()->activate();
    updateListItemSize();
}

void MtChatAttachmentItem::setProgress(int value)
{
    MtChatBaseItem::setProgress(value);
    m_controls.setProgress(value);
}

bool MtChatAttachmentItem::containsGlobalPos(const QPoint& globalPos) const
{
    return boxContains(m_box, globalPos);
}

void MtChatAttachmentItem::activateLink(const QString& link, bool openAsImage)
{
    if (link == QLatin1String("open")) {
        if (openAsImage)
            emit imageOpened(m_messageId);
        else
            emit fileOpened(m_filePath);
    } else if (link == QLatin1String("openFolder")) {
        emit folderOpend(m_filePath);
    } else if (link == QLatin1String("save")) {
        emit saveFile(m_messageId, false);
    } else if (link == QLatin1String("saveAs")) {
        emit saveFile(m_messageId, true);
    }
}

void MtChatAttachmentItem::showThumbnail(QPushButton* button, const QPixmap& image, int width,
                                         int height)
{
    const QPixmap thumbnail = mtChatThumbnail(image, button->baseSize(), width, height,
                                              m_contentType == 3, devicePixelRatioF());
    const QSize size = (QSizeF(thumbnail.size()) / thumbnail.devicePixelRatio()).toSize();
    button->setIcon(QIcon(thumbnail));
    button->setIconSize(size);
    button->setFixedHeight(size.height());
    if (button->minimumWidth() > size.width() || button->maximumWidth() != size.width()) {
        button->setMinimumWidth(size.width());
        button->setMaximumWidth(size.width());
    }
    layout()->activate();
    updateListItemSize();
}

void MtChatAttachmentItem::openMedia()
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

void MtChatAttachmentItem::setUpFileBox(QLabel* iconLabel, ElideLabel* fileNameLabel)
{
    iconLabel->setPixmap(
        mtLoadPicture(QStringLiteral(":/ui/images/file.png"), devicePixelRatioF()));
    fileNameLabel->setElideMode(Qt::ElideMiddle);
}

void MtChatAttachmentItem::showFile(ElideLabel* fileNameLabel, QLabel* fileSizeLabel,
                                    qint64 fileSize)
{
    fileNameLabel->setText(m_fileName);
    fileNameLabel->setToolTip(m_fileName);
    fileSizeLabel->setText(mtFileSizeText(fileSize));
}
