#include "widgets/mtchatentry.h"

#include "widgets/mtchataccessibletext.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"

MtChatEntry::MtChatEntry(const MtChatEntryData& data)
    : QListWidgetItem(nullptr, kType), m_data(data)
{}

MtChatBaseItem* MtChatEntry::widget() const
{
    return static_cast<MtChatBaseItem*>(m_widget.data());
}

void MtChatEntry::setWidget(MtChatBaseItem* widget)
{
    m_widget = widget;
}

int MtChatEntry::state() const
{
    return m_widget ? widget()->state() : m_data.state;
}

QDateTime MtChatEntry::time() const
{
    return m_widget ? widget()->dateTime() : m_data.time;
}

QString MtChatEntry::messageId() const
{
    return m_widget ? widget()->messageId() : m_data.messageId;
}

bool MtChatEntry::isDate() const
{
    return m_data.itemType == MtChatBaseItem::ItemType_Date;
}

void MtChatEntry::setHeight(int height, int measuredWidth)
{
    m_measuredWidth = measuredWidth;
    setSizeHint(QSize(0, height));
}

QVariant MtChatEntry::data(int role) const
{
    if (role == Qt::SizeHintRole)
        return m_size.isValid() ? QVariant(m_size) : QVariant();
    // For a screen reader, computed on request: rows hold no text for it.
    if (role == Qt::AccessibleTextRole)
        return MtChatAccessibleText::answer(*this);
    return QListWidgetItem::data(role);
}

void MtChatEntry::setData(int role, const QVariant& value)
{
    if (role == Qt::SizeHintRole) {
        // Stored here only; the base class still tells the list that the row changed.
        m_size = value.toSize();
        if (auto* view = qobject_cast<MtChatWidget*>(listWidget()))
            view->rowHeightChanged(this);
    }
    QListWidgetItem::setData(role, value);
}
