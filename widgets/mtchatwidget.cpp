#include "widgets/mtchatwidget.h"

#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatdateitem.h"
#include "widgets/mtchatfileitem.h"
#include "widgets/mtchatimageitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchatorder.h"
#include "widgets/mtchatrow.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtmychatfileitem.h"
#include "widgets/mtmychatimageitem.h"
#include "widgets/mtmychatitem.h"

#include <QApplication>
#include <QDebug>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>

namespace {
constexpr int kNewMessageHeight = 30;
const char* const kNewText = "newtext";
} // namespace

MtChatWidget::MtChatWidget(QWidget* parent)
    : QListWidget(parent), m_newMessageButton(new QPushButton(this))
{
    setObjectName(QStringLiteral("MtChatWidget"));
    setStyleSheet(QStringLiteral(
        "#MtChatWidget { background-color: #E4EAEE; border: 1px solid black; outline: none; }"
        "#MtChatWidget::item { border: none; background: transparent; }"
        "#MtChatWidget::item:hover, #MtChatWidget::item:selected { border: none;"
        " background: transparent; }"));
    setMinimumSize(300, 200);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(20);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::ClickFocus);
    installEventFilter(this);

    m_newMessageButton->setObjectName(QStringLiteral("newMessageButton"));
    m_newMessageButton->setFlat(true);
    m_newMessageButton->setFixedHeight(kNewMessageHeight);
    m_newMessageButton->setCursor(Qt::PointingHandCursor);
    m_newMessageButton->setFocusPolicy(Qt::NoFocus);
    m_newMessageButton->setIcon(QIcon(QStringLiteral(":/ui/images/new_message.png")));
    m_newMessageButton->setIconSize(QSize(16, 16));
    // The same look in every state: the bar must not flash on hover or press.
    m_newMessageButton->setStyleSheet(
        QStringLiteral("QPushButton, QPushButton:hover, QPushButton:pressed { color: white;"
                       " background-color: rgba(0, 0, 0, 120); border: none; text-align: left;"
                       " padding-left: 5px; }"));
    m_newMessageButton->hide();
    connect(m_newMessageButton, &QPushButton::clicked, this, [this] {
        scrollToBottom();
        m_newMessageButton->hide();
    });

    // verticalScrollbarValueChanged overrides the view's own reaction to the scroll bar, which
    // the view connects itself; connecting it again would run it twice.
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this,
            &MtChatWidget::verticalScrollBarReleased);

    // Rows grow once their text is laid out at the view's width; one relayout serves many.
    m_relayoutTimer.setSingleShot(true);
    m_relayoutTimer.setInterval(0);
    connect(&m_relayoutTimer, &QTimer::timeout, this, &MtChatWidget::relayout);
}

MtChatWidget::~MtChatWidget()
{
    // The separators outlive this part of the view (the widget base deletes them); their
    // destruction must not call back into a view that is already gone.
    for (MtChatDateItem* dateItem : findChildren<MtChatDateItem*>())
        disconnect(dateItem, &QObject::destroyed, this, &MtChatWidget::dateItemDestroyed);
}

MtChatBaseItem* MtChatWidget::chatItem(int row) const
{
    return qobject_cast<MtChatBaseItem*>(itemWidget(item(row)));
}

bool MtChatWidget::insertChatWidget(MtChatBaseItem* item, bool insertFirst)
{
    auto* entry = new QListWidgetItem;
    const QDateTime time = item->dateTime();
    if (insertFirst) {
        if (!m_topDate.isValid() || time.date() < m_topDate)
            addDateItem(QDateTime(time.date(), QTime(0, 0)), true);
        insertItem(qMin(1, count()), entry);
    } else {
        if (!m_bottomDate.isValid() || time.date() > m_bottomDate)
            addDateItem(QDateTime(time.date(), QTime(0, 0)), false);
        QVector<MtChatOrder::Row> rows;
        rows.reserve(count());
        for (int row = 0; row < count(); ++row) {
            const MtChatBaseItem* existing = chatItem(row);
            rows << MtChatOrder::Row{existing ? existing->state() : int(MtChatItemState::Settled),
                                     existing ? existing->dateTime() : QDateTime()};
        }
        insertItem(MtChatOrder::insertRow(rows, {item->state(), time}), entry);
    }
    item->setListItem(entry);
    entry->setSizeHint(QSize(0, item->sizeHint().height()));
    setItemWidget(entry, item);
    return true;
}

void MtChatWidget::addDateItem(const QDateTime& dateTime, bool atTop)
{
    // A separator with nothing under it yet (left by a removed message) is moved to the new day
    // instead of stacking a second one on it.
    const int edge = atTop ? 0 : count() - 1;
    auto* edgeItem = qobject_cast<MtChatDateItem*>(chatItem(edge));
    const bool dangling =
        edgeItem && (!atTop || count() == 1 || qobject_cast<MtChatDateItem*>(chatItem(1)));
    if (dangling) {
        edgeItem->setDateTime(dateTime);
        edgeItem->refreshText();
        if (edge == 0)
            m_topDate = dateTime.date();
        if (edge == count() - 1)
            m_bottomDate = dateTime.date();
    } else {
        auto* dateItem = new MtChatDateItem(this);
        dateItem->setDateTime(dateTime);
        dateItem->refreshText();
        auto* entry = new QListWidgetItem;
        if (atTop)
            insertItem(0, entry);
        else
            addItem(entry);
        dateItem->setListItem(entry);
        entry->setSizeHint(QSize(0, dateItem->sizeHint().height()));
        setItemWidget(entry, dateItem);
        connect(dateItem, &QObject::destroyed, this, &MtChatWidget::dateItemDestroyed);
        ++m_dateItemCount;
        if (atTop)
            m_topDate = dateTime.date();
        else
            m_bottomDate = dateTime.date();
    }
    if (!m_bottomDate.isValid())
        m_bottomDate = m_topDate;
    if (!m_topDate.isValid())
        m_topDate = m_bottomDate;
}

void MtChatWidget::dateItemDestroyed(QObject*)
{
    m_dateItemCount = qMax(0, m_dateItemCount - 1);
}

void MtChatWidget::connectItem(MtChatBaseItem* item)
{
    connect(item, &MtChatBaseItem::fileOpened, this, &MtChatWidget::fileOpened);
    connect(item, &MtChatBaseItem::folderOpend, this, &MtChatWidget::folderOpened);
    connect(item, &MtChatBaseItem::imageOpened, this, &MtChatWidget::imageOpened);
    connect(item, &MtChatBaseItem::saveFile, this, &MtChatWidget::saveFile);
    connect(item, &MtChatBaseItem::textOpened, this, &MtChatWidget::textOpened);
    connect(item, &MtChatBaseItem::resendClicked, this, &MtChatWidget::resendClicked);
    connect(item, &MtChatBaseItem::sizeChanged, this, &MtChatWidget::itemSizeChanged);
}

void MtChatWidget::watchMessageBox(QWidget* messageBox)
{
    messageBox->installEventFilter(this);
}

MtChatItem* MtChatWidget::addChatMessage(const QString& messageId, const QPixmap& picture,
                                         const QString& name, int senderId,
                                         const QDateTime& dateTime, const QString& text,
                                         int contentType, int readCount, int state,
                                         bool insertFirst)
{
    auto* item = new MtChatItem(this);
    item->setChat(messageId, picture, name, senderId, dateTime, text, contentType, state);
    item->setReadCount(readCount);
    watchMessageBox(item->messageBox());
    insertChatWidget(item, insertFirst);
    connectItem(item);
    connect(item, &MtChatItem::pictureButtonClicked, this, &MtChatWidget::userPictureButtonClicked);
    return item;
}

MtMyChatItem* MtChatWidget::addMyChatMessage(const QString& messageId, const QPixmap& picture,
                                             const QString& name, int senderId,
                                             const QDateTime& dateTime, const QString& text,
                                             int contentType, int readCount, int state,
                                             bool insertFirst)
{
    auto* item = new MtMyChatItem(this);
    item->setPicture(picture);
    item->setChat(messageId, name, senderId, dateTime, text, contentType, state);
    item->setReadCount(readCount);
    watchMessageBox(item->messageBox());
    insertChatWidget(item, insertFirst);
    connectItem(item);
    connect(item, &MtMyChatItem::readUserPopupOpened, this, &MtChatWidget::readUserPopupOpened);
    return item;
}

MtChatImageItem* MtChatWidget::addChatImage(const QString& messageId, const QPixmap& picture,
                                            const QString& name, int senderId,
                                            const QDateTime& dateTime, const QString& filePath,
                                            const QString& fileName, const QPixmap& image,
                                            int width, int height, int contentType, int readCount,
                                            int state, bool insertFirst)
{
    auto* item = new MtChatImageItem(this);
    item->setChat(messageId, picture, name, senderId, dateTime, filePath, fileName, image, width,
                  height, contentType, state);
    item->setReadCount(readCount);
    insertChatWidget(item, insertFirst);
    connectItem(item);
    connect(item, &MtChatImageItem::pictureButtonClicked, this,
            &MtChatWidget::userPictureButtonClicked);
    return item;
}

MtMyChatImageItem* MtChatWidget::addMyChatImage(const QString& messageId, const QPixmap& picture,
                                                const QString& name, int senderId,
                                                const QDateTime& dateTime, const QString& filePath,
                                                const QString& fileName, const QPixmap& image,
                                                int width, int height, int contentType,
                                                int readCount, int state, bool insertFirst)
{
    auto* item = new MtMyChatImageItem(this);
    item->setPicture(picture);
    item->setChat(messageId, name, senderId, dateTime, filePath, fileName, image, width, height,
                  contentType, state);
    item->setReadCount(readCount);
    insertChatWidget(item, insertFirst);
    connectItem(item);
    connect(item, &MtMyChatImageItem::readUserPopupOpened, this,
            &MtChatWidget::readUserPopupOpened);
    return item;
}

MtChatFileItem* MtChatWidget::addChatFile(const QString& messageId, const QPixmap& picture,
                                          const QString& name, int senderId,
                                          const QDateTime& dateTime, const QString& filePath,
                                          const QString& fileName, qint64 fileSize, int readCount,
                                          int state, bool insertFirst)
{
    auto* item = new MtChatFileItem(this);
    item->setChat(messageId, picture, name, senderId, dateTime, filePath, fileName, fileSize,
                  state);
    item->setReadCount(readCount);
    insertChatWidget(item, insertFirst);
    connectItem(item);
    connect(item, &MtChatFileItem::pictureButtonClicked, this,
            &MtChatWidget::userPictureButtonClicked);
    return item;
}

MtMyChatFileItem* MtChatWidget::addMyChatFile(const QString& messageId, const QPixmap& picture,
                                              const QString& name, int senderId,
                                              const QDateTime& dateTime, const QString& filePath,
                                              const QString& fileName, qint64 fileSize,
                                              int readCount, int state, bool insertFirst)
{
    auto* item = new MtMyChatFileItem(this);
    item->setPicture(picture);
    item->setChat(messageId, name, senderId, dateTime, filePath, fileName, fileSize, state);
    item->setReadCount(readCount);
    insertChatWidget(item, insertFirst);
    connectItem(item);
    connect(item, &MtMyChatFileItem::readUserPopupOpened, this, &MtChatWidget::readUserPopupOpened);
    return item;
}

MtChatAlarmItem* MtChatWidget::addAlarmMessage(const QString& messageId, const QString& text,
                                               const QDateTime& dateTime, bool insertFirst)
{
    qDebug().noquote().nospace() << "MtChatWidget::addAlarmMessage alarmMessage:" << text;
    auto* item = new MtChatAlarmItem(this);
    item->setAlarm(messageId, dateTime, text);
    insertChatWidget(item, insertFirst);
    connectItem(item);
    return item;
}

MtChatBaseItem* MtChatWidget::addChat(const DBChat& chat, bool own, const QPixmap& picture,
                                      const QPixmap& image, bool insertFirst)
{
    const MtChatRow row = MtChatRow::fromChat(chat, own);
    switch (row.kind) {
    case MtChatRow::Notice:
        return addAlarmMessage(row.messageId, row.text, row.time, insertFirst);
    case MtChatRow::Text:
        if (own)
            return addMyChatMessage(row.messageId, picture, row.senderName, row.senderId, row.time,
                                    row.text, row.contentType, row.readCount, row.state,
                                    insertFirst);
        return addChatMessage(row.messageId, picture, row.senderName, row.senderId, row.time,
                              row.text, row.contentType, row.readCount, row.state, insertFirst);
    case MtChatRow::Image:
        if (own)
            return addMyChatImage(row.messageId, picture, row.senderName, row.senderId, row.time,
                                  row.filePath, row.fileName, image, row.width, row.height,
                                  row.contentType, row.readCount, row.state, insertFirst);
        return addChatImage(row.messageId, picture, row.senderName, row.senderId, row.time,
                            row.filePath, row.fileName, image, row.width, row.height,
                            row.contentType, row.readCount, row.state, insertFirst);
    case MtChatRow::File:
        if (own)
            return addMyChatFile(row.messageId, picture, row.senderName, row.senderId, row.time,
                                 row.filePath, row.fileName, row.fileSize, row.readCount, row.state,
                                 insertFirst);
        return addChatFile(row.messageId, picture, row.senderName, row.senderId, row.time,
                           row.filePath, row.fileName, row.fileSize, row.readCount, row.state,
                           insertFirst);
    case MtChatRow::None:
        break;
    }
    return nullptr;
}

MtChatBaseItem* MtChatWidget::findItem(const QString& messageId) const
{
    // Separators and leave notices have no message id; none of them is a message.
    if (messageId.isEmpty())
        return nullptr;
    for (int row = count() - 1; row >= 0; --row) {
        MtChatBaseItem* candidate = chatItem(row);
        if (candidate && candidate->messageId() == messageId)
            return candidate;
    }
    return nullptr;
}

bool MtChatWidget::isScrolledToBottom() const
{
    if (count() < 2)
        return true;
    const_cast<MtChatWidget*>(this)->executeDelayedItemsLayout();
    const QRect last = visualItemRect(item(count() - 1));
    const QRect upperThird(last.x(), last.y(), last.width(), last.height() / 3);
    return viewport()->rect().contains(upperThird);
}

void MtChatWidget::showNewMessage(const QString& text)
{
    m_newMessageButton->setProperty(kNewText, text);
    m_newMessageButton->setToolTip(text);
    placeNewMessageButton();
    refillNewMessageButton();
    m_newMessageButton->show();
}

void MtChatWidget::refillNewMessageButton()
{
    const QString text = m_newMessageButton->property(kNewText).toString().simplified();
    const int width = m_newMessageButton->width() - m_newMessageButton->iconSize().width() - 15;
    m_newMessageButton->setText(
        m_newMessageButton->fontMetrics().elidedText(text, Qt::ElideRight, qMax(0, width)));
}

void MtChatWidget::placeNewMessageButton()
{
    const QRect area = viewport()->geometry();
    m_newMessageButton->setGeometry(1, area.bottom() + 1 - kNewMessageHeight, area.width() - 1,
                                    kNewMessageHeight);
    m_newMessageButton->raise();
}

void MtChatWidget::clear()
{
    qDebug().noquote().nospace() << "MtChatWidget::clear";
    // The separators die after this returns; their count starts again at nothing now.
    for (int row = 0; row < count(); ++row) {
        if (auto* dateItem = qobject_cast<MtChatDateItem*>(chatItem(row)))
            disconnect(dateItem, &QObject::destroyed, this, &MtChatWidget::dateItemDestroyed);
    }
    for (int row = 0; row < count(); ++row) {
        if (MtChatBaseItem* item = chatItem(row))
            item->setListItem(nullptr);
    }
    m_dateItemCount = 0;
    m_bottomDate = QDate();
    m_topDate = QDate();
    m_newMessageButton->hide();
    QListWidget::clear();
}

void MtChatWidget::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    // The items die later than their entries; until then they must not touch them.
    for (int row = start; row <= end; ++row) {
        if (MtChatBaseItem* item = chatItem(row))
            item->setListItem(nullptr);
    }
    QListWidget::rowsAboutToBeRemoved(parent, start, end);
}

void MtChatWidget::verticalScrollbarValueChanged(int value)
{
    QListWidget::verticalScrollbarValueChanged(value);
    if (value < 1 && !verticalScrollBar()->isSliderDown())
        emit movedToTop();
    if (value == verticalScrollBar()->maximum())
        m_newMessageButton->hide();
}

void MtChatWidget::verticalScrollBarReleased()
{
    if (verticalScrollBar()->value() <= 0)
        emit movedToTop();
}

void MtChatWidget::itemSizeChanged()
{
    if (!m_relayoutTimer.isActive())
        m_stickToBottom =
            count() > 0 && verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    m_relayoutTimer.start();
}

void MtChatWidget::relayout()
{
    doItemsLayout();
    if (m_stickToBottom)
        scrollToBottom();
    m_stickToBottom = false;
}

void MtChatWidget::clearTextSelections(QWidget* except)
{
    for (int row = 0; row < count(); ++row) {
        MtChatBaseItem* item = chatItem(row);
        if (!item)
            continue;
        if (auto* box = item->findChild<MtChatTextBrowser*>()) {
            if (box != except)
                box->clearSelection();
        }
    }
}

bool MtChatWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::FocusIn) {
        clearTextSelections(nullptr);
    } else if (event->type() == QEvent::FocusOut) {
        if (auto* box = qobject_cast<MtChatTextBrowser*>(watched)) {
            // Selecting in another bubble drops this one's selection, as one selection would.
            QWidget* next = QApplication::focusWidget();
            MtChatBaseItem* nextItem = nullptr;
            for (QWidget* w = next; w && !nextItem; w = w->parentWidget())
                nextItem = qobject_cast<MtChatBaseItem*>(w);
            MtChatBaseItem* ownItem = nullptr;
            for (QWidget* w = box; w && !ownItem; w = w->parentWidget())
                ownItem = qobject_cast<MtChatBaseItem*>(w);
            if (nextItem && nextItem != ownItem)
                box->clearSelection();
        }
    }
    return QListWidget::eventFilter(watched, event);
}

void MtChatWidget::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    // The list only lays its rows out again when it grows taller; rows are as wide as the view,
    // so a change of width must reach them too (text rewraps, rows change height).
    if (event->oldSize().width() != event->size().width())
        itemSizeChanged();
    placeNewMessageButton();
    if (m_newMessageButton->isVisible())
        refillNewMessageButton();
}
