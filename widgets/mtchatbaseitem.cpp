#include "widgets/mtchatbaseitem.h"

#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"
#include "widgets/mtpicture.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QListWidget>

#include <utility>

namespace {

void keepOnOneLine(QLabel* label)
{
    // A rich-text label would wrap in a narrow column and grow taller than the bubble.
    label->setMinimumWidth(label->sizeHint().width());
}

} // namespace

MtChatBaseItem::MtChatBaseItem(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

QSize MtChatBaseItem::sizeHint() const
{
    return QWidget::sizeHint().expandedTo(minimumSize()).boundedTo(maximumSize());
}

bool MtChatBaseItem::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // A child changed size (a label got its text, the style was applied): the row follows.
    if (event->type() == QEvent::LayoutRequest && m_listItem &&
        m_listItem->sizeHint().height() != sizeHint().height())
        updateListItemSize();
    return handled;
}

void MtChatBaseItem::setDateTime(const QDateTime& dateTime)
{
    m_dateTime = dateTime;
}

void MtChatBaseItem::setReadCount(int count)
{
    m_readCount = count;
}

void MtChatBaseItem::setState(int state)
{
    m_state = state;
}

void MtChatBaseItem::setProgress(int value)
{
    m_progress = value;
}

void MtChatBaseItem::setHighlight(const QString& text)
{
    m_highlight = text;
}

void MtChatBaseItem::removeHighlight()
{
    m_highlight.clear();
}

bool MtChatBaseItem::containsGlobalPos(const QPoint&) const
{
    return false;
}

void MtChatBaseItem::copyText() {}

void MtChatBaseItem::updateListItemSize()
{
    if (m_listItem) {
        // The width follows the view; only the height is the item's to say.
        m_listItem->setSizeHint(QSize(0, sizeHint().height()));
    }
    emit sizeChanged();
}

void MtChatBaseItem::showSender(QAbstractButton* pictureButton, QLabel* titleLabel,
                                const QPixmap& picture, const QString& name)
{
    m_picture = picture;
    const QPixmap shown =
        picture.isNull() ? mtLoadPicture(QStringLiteral(":/ui/images/profile.png"), 2.0) : picture;
    pictureButton->setIcon(QIcon(mtRoundPicture(shown, QSize(44, 44), devicePixelRatioF())));
    // The picture stands for the sender: a screen reader says the name.
    pictureButton->setAccessibleName(name);
    titleLabel->setText(name);
}

void MtChatBaseItem::showReadCount(QLabel* readLabel, int count, bool own)
{
    readLabel->setText(own ? MtChatText::readCountLink(m_messageId, count)
                           : MtChatText::readCountText(count));
    keepOnOneLine(readLabel);
    readLabel->setVisible(count > 0);
}

void MtChatBaseItem::resendIfFailed()
{
    if (MtChatItemState::resendAllowed(m_state))
        emit resendClicked(m_messageId);
}

QString MtChatBaseItem::shownText(const QLabel* label)
{
    return label->isHidden() ? QString() : label->text();
}

bool MtChatBaseItem::boxContains(const QWidget* box, const QPoint& globalPos)
{
    return QRect(box->mapToGlobal(QPoint(0, 0)), box->size()).contains(globalPos);
}
