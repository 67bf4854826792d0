#include "widgets/mtchattextitem.h"

#include "widgets/mtchatbaloongroupbox.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchattextbrowser.h"

#include <QLabel>
#include <QLayout>
#include <QPushButton>

MtChatTextItem::MtChatTextItem(QWidget* parent) : MtChatBaseItem(parent) {}

void MtChatTextItem::setParts(bool own, MtChatBaloonGroupBox* box, MtChatTextBrowser* messageLabel,
                              QPushButton* viewAllButton, QLabel* readLabel, QLabel* timeLabel)
{
    m_own = own;
    m_box = box;
    m_messageLabel = messageLabel;
    m_viewAllButton = viewAllButton;
    m_readLabel = readLabel;
    m_timeLabel = timeLabel;
    m_box->setOwn(own);
    m_viewAllButton->hide();
    m_readLabel->hide();
    connect(m_messageLabel, &MtChatTextBrowser::documentHeightChanged, this,
            &MtChatTextItem::fitMessageBox);
}

void MtChatTextItem::setMessage(const QString& messageId, const QString& name, int senderId,
                                const QDateTime& dateTime, const QString& content, int contentType,
                                int state)
{
    m_messageId = messageId;
    m_senderName = name;
    m_senderId = senderId;
    m_content = content;
    m_contentType = contentType;
    setDateTime(dateTime);
    setState(state);
    m_viewAllButton->setVisible(contentType == 4);
    m_messageLabel->setMessage(content);
    limitMessageBox();
    fitMessageBox();
}

QString MtChatTextItem::readText() const
{
    return shownText(m_readLabel);
}

QString MtChatTextItem::timeText() const
{
    return m_timeLabel->text();
}

void MtChatTextItem::setDateTime(const QDateTime& dateTime)
{
    MtChatBaseItem::setDateTime(dateTime);
    m_timeLabel->setText(MtChatText::timeText(dateTime.time()));
}

void MtChatTextItem::setReadCount(int count)
{
    MtChatBaseItem::setReadCount(count);
    showReadCount(m_readLabel, count, m_own);
}

void MtChatTextItem::setHighlight(const QString& text)
{
    MtChatBaseItem::setHighlight(text);
    m_messageLabel->setHighlight(text);
}

void MtChatTextItem::removeHighlight()
{
    MtChatBaseItem::removeHighlight();
    m_messageLabel->removeHighlight();
}

bool MtChatTextItem::containsGlobalPos(const QPoint& globalPos) const
{
    return boxContains(m_messageLabel, globalPos);
}

void MtChatTextItem::copyText()
{
    m_messageLabel->copyText();
}

void MtChatTextItem::fitToWidth()
{
    m_messageLabel->fitDocumentToWidth();
}

void MtChatTextItem::on_viewAllButton_clicked()
{
    emit textOpened(m_messageId);
}

void MtChatTextItem::limitMessageBox()
{
    const QMargins margins = m_box->contentMargins();
    m_box->setMaximumWidth(m_messageLabel->maximumWidth() + margins.left() + margins.right());
}

void MtChatTextItem::fitMessageBox()
{
    const QMargins margins = m_box->contentMargins();
    int height = m_messageLabel->documentHeight() + margins.top() + margins.bottom();
    if (!m_viewAllButton->isHidden())
        height += m_viewAllButton->sizeHint().height() + m_box->layout()->spacing();
    m_box->setFixedHeight(height);
    // The item itself follows its layout (see event()); only the text fixes heights.
    layout()->invalidate();
    updateListItemSize();
}
