#include "widgets/mtchatwidget.h"

#include "store/dbtypes.h"

#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatdateitem.h"
#include "widgets/mtchatentry.h"
#include "widgets/mtchatfileitem.h"
#include "widgets/mtchatheights.h"
#include "widgets/mtchatimageitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchatitemfactory.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchatorder.h"
#include "widgets/mtchatrow.h"
#include "widgets/mtchatrowdelegate.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtmychatfileitem.h"
#include "widgets/mtmychatimageitem.h"
#include "widgets/mtmychatitem.h"

#include <QAccessible>
#include <QApplication>
#include <QDebug>
#include <QKeyEvent>
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
    m_heights = std::make_unique<MtChatHeights>(font(), styleSheet());
    setMinimumSize(300, 200);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(20);
    setSelectionMode(QAbstractItemView::NoSelection);
    setItemDelegate(new MtChatRowDelegate(m_rowHeights, this));
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
    // The end can also come to the view: rows laid out again may leave it at the bottom.
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (verticalScrollBar()->value() >= maximum)
            m_newMessageButton->hide();
    });
    // The wheel, the keys and the mouse on the scroll bar all end in an action of the bar; a
    // message shown by showMessage stays in view until then.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            &MtChatWidget::releaseShownMessage);

    // Rows grow once their text is laid out at the view's width; one relayout serves many.
    m_relayoutTimer.setSingleShot(true);
    m_relayoutTimer.setInterval(0);
    connect(&m_relayoutTimer, &QTimer::timeout, this, &MtChatWidget::relayout);
    // Items far from the viewport are let go after the scroll or insert that left them there,
    // never inside it: an item just handed to a caller stays valid until the event loop.
    m_dropTimer.setSingleShot(true);
    m_dropTimer.setInterval(0);
    connect(&m_dropTimer, &QTimer::timeout, this, [this] { updateLiveRows(true); });
    // Rows measured at another width are measured again in slices, the viewport kept in place.
    m_remeasureTimer.setSingleShot(true);
    m_remeasureTimer.setInterval(0);
    connect(&m_remeasureTimer, &QTimer::timeout, this, &MtChatWidget::remeasureStale);
}

MtChatWidget::~MtChatWidget() = default;

MtChatEntry* MtChatWidget::entryAt(int row) const
{
    QListWidgetItem* entry = item(row);
    return entry && entry->type() == MtChatEntry::kType ? static_cast<MtChatEntry*>(entry)
                                                        : nullptr;
}

MtChatEntryData MtChatWidget::rowData(int row) const
{
    const MtChatEntry* entry = entryAt(row);
    if (!entry)
        return {};
    MtChatEntryData data = entry->data();
    if (const MtChatBaseItem* item = entry->widget())
        MtChatItemFactory::readBack(item, data);
    return data;
}

MtChatBaseItem* MtChatWidget::chatItem(int row) const
{
    return liveItem(entryAt(row));
}

int MtChatWidget::rowWidth() const
{
    return viewport()->width();
}

void MtChatWidget::measure(MtChatEntry* entry)
{
    const int width = rowWidth();
    const int type = entry->data().itemType;
    if (m_batch > 0 && MtChatHeights::isText(type)) {
        // Laying out the texts of thousands of rows is most of a batch's cost. The estimate is
        // kept as measured at no width, so the slices that follow the batch measure it.
        entry->setHeight(m_heights->estimate(entry->data(), width), 0);
        return;
    }
    entry->setHeight(m_heights->height(entry->data(), width),
                     MtChatItemFactory::widthDependent(type) ? width : -1);
}

MtChatEntry* MtChatWidget::insertEntry(const MtChatEntryData& data, bool insertFirst)
{
    auto* entry = new MtChatEntry(data);
    measure(entry);
    // The view would lay every row out again at each insert to place the items it carries; the
    // layout that follows the inserts does that once.
    m_inserting = true;
    const QDateTime time = data.time;
    if (insertFirst) {
        if (!m_topDate.isValid() || time.date() < m_topDate)
            addDateItem(QDateTime(time.date(), QTime(0, 0)), true);
        insertItem(qMin(1, count()), entry);
    } else {
        if (!m_bottomDate.isValid() || time.date() > m_bottomDate)
            addDateItem(QDateTime(time.date(), QTime(0, 0)), false);
        insertItem(bottomInsertRow(entry), entry);
        // The conversation goes on below: the view follows it again.
        releaseShownMessage();
    }
    m_inserting = false;
    if (!data.messageId.isEmpty())
        m_byId.insert(data.messageId, entry);
    return entry;
}

int MtChatWidget::bottomInsertRow(const MtChatEntry* entry) const
{
    return MtChatOrder::insertRow(count(),
                                  [this](int row) {
                                      const MtChatEntry* at = entryAt(row);
                                      return at ? MtChatOrder::Row{at->state(), at->time()}
                                                : MtChatOrder::Row{int(MtChatItemState::Settled),
                                                                   QDateTime()};
                                  },
                                  {entry->data().state, entry->data().time});
}

bool MtChatWidget::insertChatWidget(MtChatBaseItem* item, bool insertFirst)
{
    MtChatEntryData data;
    data.itemType = item->itemType();
    MtChatItemFactory::readBack(item, data);
    MtChatEntry* entry = insertEntry(data, insertFirst);
    item->setParent(viewport());
    entry->setWidget(item);
    m_live.insert(entry);
    item->setListItem(entry);
    setItemWidget(entry, item);
    scheduleDrop();
    return true;
}

MtChatBaseItem* MtChatWidget::liveItem(MtChatEntry* entry) const
{
    if (!entry)
        return nullptr;
    if (MtChatBaseItem* live = entry->widget())
        return live;
    auto* self = const_cast<MtChatWidget*>(this);
    MtChatBaseItem* item = MtChatItemFactory::create(entry->data().itemType, viewport());
    if (!item)
        return nullptr;
    MtChatItemFactory::fill(item, entry->data());
    if (auto* text = qobject_cast<MtChatTextItem*>(item))
        self->watchMessageBox(text->messageBox());
    self->connectItem(item);
    entry->setWidget(item);
    self->m_live.insert(entry);
    item->resize(rowWidth(), entry->sizeHint().height());
    item->setListItem(entry);
    self->setItemWidget(entry, item);
    self->scheduleDrop();
    return item;
}

void MtChatWidget::dropItem(MtChatEntry* entry)
{
    m_live.remove(entry);
    MtChatBaseItem* item = entry->widget();
    if (!item)
        return;
    // The row keeps what the window changed on the item, and the height it had.
    MtChatItemFactory::readBack(item, entry->data());
    disconnect(item, nullptr, this, nullptr);
    item->setListItem(nullptr);
    entry->setWidget(nullptr);
    const int type = entry->data().itemType;
    entry->setHeight(entry->sizeHint().height(),
                     MtChatItemFactory::widthDependent(type) ? item->width() : -1);
    removeItemWidget(entry);
}

void MtChatWidget::scheduleDrop()
{
    if (!m_dropTimer.isActive())
        m_dropTimer.start();
}

void MtChatWidget::updateLiveRows(bool dropFar)
{
    // Rows of a batch pass through the viewport one insert after the other; items are made for
    // the rows in view once the batch has ended.
    if (m_updatingLive || m_batch > 0 || count() == 0)
        return;
    if (!isVisible()) {
        if (dropFar) {
            const QSet<MtChatEntry*> live = m_live;
            for (MtChatEntry* entry : live) {
                if (!entry->isPinned())
                    dropItem(entry);
            }
        }
        return;
    }
    m_updatingLive = true;
    executeDelayedItemsLayout();
    const QModelIndex first = indexAt(QPoint(1, 1));
    const QModelIndex last = indexAt(QPoint(1, viewport()->height() - 2));
    const int firstRow = first.isValid() ? first.row() : 0;
    const int lastRow = last.isValid() ? last.row() : count() - 1;
    const int span = qMax(1, lastRow - firstRow + 1);
    // Half a screen either side is made ahead of scrolling; items are let go only two screens
    // away, so that scrolling back and forth does not make them again and again.
    const int ahead = qMax(1, span / 2);
    const int to = qMin(count() - 1, lastRow + ahead);
    for (int row = qMax(0, firstRow - ahead); row <= to; ++row)
        liveItem(entryAt(row));
    if (dropFar) {
        const QSet<MtChatEntry*> live = m_live;
        for (MtChatEntry* entry : live) {
            const int at = row(entry);
            const bool far = at < firstRow - 2 * span || at > lastRow + 2 * span;
            if (far && !entry->isPinned())
                dropItem(entry);
        }
    }
    m_updatingLive = false;
}

void MtChatWidget::remeasureStale()
{
    if (!isVisible() || count() == 0 || m_batch > 0)
        return;
    constexpr int kChunk = 200;
    const int width = rowWidth();
    executeDelayedItemsLayout();
    QScrollBar* bar = verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    MtChatEntry* anchor = entryAt(indexAt(QPoint(1, 1)).row());
    const int anchorTop = anchor ? visualItemRect(anchor).top() : 0;
    int done = 0;
    for (int row = 0; row < count() && done < kChunk; ++row) {
        MtChatEntry* entry = entryAt(row);
        if (!entry || entry->widget() || entry->measuredWidth() < 0 ||
            entry->measuredWidth() == width)
            continue;
        measure(entry);
        ++done;
    }
    if (done == 0)
        return;
    // Rows above the viewport changed height: what the user reads stays where it was.
    doItemsLayout();
    if (holdsShownRow())
        placeShownMessage();
    else if (atBottom)
        scrollToBottom();
    else if (anchor)
        bar->setValue(bar->value() + visualItemRect(anchor).top() - anchorTop);
    if (done == kChunk)
        m_remeasureTimer.start();
}

void MtChatWidget::rowsInserted(const QModelIndex& parent, int start, int end)
{
    for (int row = start; row <= end; ++row) {
        const QListWidgetItem* entry = item(row);
        m_rowHeights.insert(row, entry ? entry->sizeHint().height() : 0);
    }
    QListWidget::rowsInserted(parent, start, end);
}

void MtChatWidget::rowHeightChanged(MtChatEntry* entry)
{
    const int at = row(entry);
    if (at >= 0 && at < m_rowHeights.size())
        m_rowHeights[at] = entry->sizeHint().height();
}

void MtChatWidget::updateEditorGeometries()
{
    if (!m_inserting)
        QListWidget::updateEditorGeometries();
}

void MtChatWidget::doItemsLayout()
{
    ++m_layoutCount;
    QListWidget::doItemsLayout();
    updateLiveRows(false);
}

void MtChatWidget::scrollContentsBy(int dx, int dy)
{
    QListWidget::scrollContentsBy(dx, dy);
    updateLiveRows(false);
    scheduleDrop();
}

void MtChatWidget::showEvent(QShowEvent* event)
{
    QListWidget::showEvent(event);
    m_remeasureTimer.start();
    scheduleDrop();
}

void MtChatWidget::addDateItem(const QDateTime& dateTime, bool atTop)
{
    // A separator with nothing under it yet (left by a removed message) is moved to the new day
    // instead of stacking a second one on it.
    const int edge = atTop ? 0 : count() - 1;
    MtChatEntry* edgeEntry = entryAt(edge);
    const MtChatEntry* second = entryAt(1);
    const bool dangling = edgeEntry && edgeEntry->isDate() &&
                          (!atTop || count() == 1 || (second && second->isDate()));
    if (dangling) {
        edgeEntry->data().time = dateTime;
        if (auto* dateItem = qobject_cast<MtChatDateItem*>(edgeEntry->widget())) {
            dateItem->setDateTime(dateTime);
            dateItem->refreshText();
        }
        if (edge == 0)
            m_topDate = dateTime.date();
        if (edge == count() - 1)
            m_bottomDate = dateTime.date();
    } else {
        MtChatEntryData data;
        data.itemType = MtChatBaseItem::ItemType_Date;
        data.time = dateTime;
        auto* entry = new MtChatEntry(data);
        measure(entry);
        if (atTop)
            insertItem(0, entry);
        else
            QListWidget::addItem(entry);
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
    // Separators are counted by their rows (rowsAboutToBeRemoved): their items come and go with
    // scrolling. Kept for callers of the slot.
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
    if (auto* chat = qobject_cast<MtChatItem*>(item))
        connect(chat, &MtChatItem::pictureButtonClicked, this,
                &MtChatWidget::userPictureButtonClicked);
    else if (auto* image = qobject_cast<MtChatImageItem*>(item))
        connect(image, &MtChatImageItem::pictureButtonClicked, this,
                &MtChatWidget::userPictureButtonClicked);
    else if (auto* file = qobject_cast<MtChatFileItem*>(item))
        connect(file, &MtChatFileItem::pictureButtonClicked, this,
                &MtChatWidget::userPictureButtonClicked);
    else if (auto* mine = qobject_cast<MtMyChatItem*>(item))
        connect(mine, &MtMyChatItem::readUserPopupOpened, this, &MtChatWidget::readUserPopupOpened);
    else if (auto* myImage = qobject_cast<MtMyChatImageItem*>(item))
        connect(myImage, &MtMyChatImageItem::readUserPopupOpened, this,
                &MtChatWidget::readUserPopupOpened);
    else if (auto* myFile = qobject_cast<MtMyChatFileItem*>(item))
        connect(myFile, &MtMyChatFileItem::readUserPopupOpened, this,
                &MtChatWidget::readUserPopupOpened);
}

void MtChatWidget::watchMessageBox(QWidget* messageBox)
{
    messageBox->installEventFilter(this);
}

template <typename Item>
Item* MtChatWidget::addLiveItem(const MtChatEntryData& data, bool insertFirst)
{
    return qobject_cast<Item*>(liveItem(insertEntry(data, insertFirst)));
}

namespace {
MtChatEntryData chatData(int itemType, const QString& messageId, const QPixmap& picture,
                         const QString& name, int senderId, const QDateTime& dateTime,
                         int contentType, int readCount, int state)
{
    MtChatEntryData data;
    data.itemType = itemType;
    data.messageId = messageId;
    data.picture = picture;
    data.senderName = name;
    data.senderId = senderId;
    data.time = dateTime;
    data.contentType = contentType;
    data.readCount = readCount;
    data.state = state;
    return data;
}
} // namespace

MtChatItem* MtChatWidget::addChatMessage(const QString& messageId, const QPixmap& picture,
                                         const QString& name, int senderId,
                                         const QDateTime& dateTime, const QString& text,
                                         int contentType, int readCount, int state,
                                         bool insertFirst)
{
    MtChatEntryData data = chatData(MtChatBaseItem::ItemType_Chat, messageId, picture, name,
                                    senderId, dateTime, contentType, readCount, state);
    data.text = text;
    return addLiveItem<MtChatItem>(data, insertFirst);
}

MtMyChatItem* MtChatWidget::addMyChatMessage(const QString& messageId, const QPixmap& picture,
                                             const QString& name, int senderId,
                                             const QDateTime& dateTime, const QString& text,
                                             int contentType, int readCount, int state,
                                             bool insertFirst)
{
    MtChatEntryData data = chatData(MtChatBaseItem::ItemType_MyChat, messageId, picture, name,
                                    senderId, dateTime, contentType, readCount, state);
    data.text = text;
    return addLiveItem<MtMyChatItem>(data, insertFirst);
}

MtChatImageItem* MtChatWidget::addChatImage(const QString& messageId, const QPixmap& picture,
                                            const QString& name, int senderId,
                                            const QDateTime& dateTime, const QString& filePath,
                                            const QString& fileName, const QPixmap& image,
                                            int width, int height, int contentType, int readCount,
                                            int state, bool insertFirst)
{
    MtChatEntryData data = chatData(MtChatBaseItem::ItemType_ChatImage, messageId, picture, name,
                                    senderId, dateTime, contentType, readCount, state);
    data.filePath = filePath;
    data.fileName = fileName;
    data.image = image;
    data.width = width;
    data.height = height;
    return addLiveItem<MtChatImageItem>(data, insertFirst);
}

MtMyChatImageItem* MtChatWidget::addMyChatImage(const QString& messageId, const QPixmap& picture,
                                                const QString& name, int senderId,
                                                const QDateTime& dateTime, const QString& filePath,
                                                const QString& fileName, const QPixmap& image,
                                                int width, int height, int contentType,
                                                int readCount, int state, bool insertFirst)
{
    MtChatEntryData data = chatData(MtChatBaseItem::ItemType_MyChatImage, messageId, picture, name,
                                    senderId, dateTime, contentType, readCount, state);
    data.filePath = filePath;
    data.fileName = fileName;
    data.image = image;
    data.width = width;
    data.height = height;
    return addLiveItem<MtMyChatImageItem>(data, insertFirst);
}

MtChatFileItem* MtChatWidget::addChatFile(const QString& messageId, const QPixmap& picture,
                                          const QString& name, int senderId,
                                          const QDateTime& dateTime, const QString& filePath,
                                          const QString& fileName, qint64 fileSize, int readCount,
                                          int state, bool insertFirst)
{
    MtChatEntryData data = chatData(MtChatBaseItem::ItemType_ChatFile, messageId, picture, name,
                                    senderId, dateTime, 4, readCount, state);
    data.filePath = filePath;
    data.fileName = fileName;
    data.fileSize = fileSize;
    return addLiveItem<MtChatFileItem>(data, insertFirst);
}

MtMyChatFileItem* MtChatWidget::addMyChatFile(const QString& messageId, const QPixmap& picture,
                                              const QString& name, int senderId,
                                              const QDateTime& dateTime, const QString& filePath,
                                              const QString& fileName, qint64 fileSize,
                                              int readCount, int state, bool insertFirst)
{
    MtChatEntryData data = chatData(MtChatBaseItem::ItemType_MyChatFile, messageId, picture, name,
                                    senderId, dateTime, 4, readCount, state);
    data.filePath = filePath;
    data.fileName = fileName;
    data.fileSize = fileSize;
    return addLiveItem<MtMyChatFileItem>(data, insertFirst);
}

MtChatAlarmItem* MtChatWidget::addAlarmMessage(const QString& messageId, const QString& text,
                                               const QDateTime& dateTime, bool insertFirst)
{
    MtChatAlarmItem* item = addNotice(messageId, text, dateTime, insertFirst);
    static_cast<MtChatEntry*>(item->listItem())->setPinned(true);
    return item;
}

MtChatAlarmItem* MtChatWidget::addNotice(const QString& messageId, const QString& text,
                                         const QDateTime& dateTime, bool insertFirst)
{
    qDebug().noquote().nospace() << "MtChatWidget::addAlarmMessage alarmMessage:" << text;
    MtChatEntryData data;
    data.itemType = MtChatBaseItem::ItemType_Alarm;
    data.messageId = messageId;
    data.time = dateTime;
    data.text = text;
    return addLiveItem<MtChatAlarmItem>(data, insertFirst);
}

MtChatBaseItem* MtChatWidget::addChat(const DBChat& chat, bool own, const QPixmap& picture,
                                      const QPixmap& image, bool insertFirst)
{
    const MtChatRow row = MtChatRow::fromChat(chat, own);
    switch (row.kind) {
    case MtChatRow::Notice:
        return addNotice(row.messageId, row.text, row.time, insertFirst);
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

bool MtChatWidget::addChatRow(const DBChat& chat, bool own, const QPixmap& picture,
                              const QPixmap& image, bool insertFirst)
{
    const MtChatRow row = MtChatRow::fromChat(chat, own);
    if (row.kind == MtChatRow::None)
        return false;
    MtChatEntryData data =
        chatData(row.itemType, row.messageId, picture, row.senderName, row.senderId, row.time,
                 row.contentType, row.readCount, row.state);
    data.text = row.text;
    data.filePath = row.filePath;
    data.fileName = row.fileName;
    data.fileSize = row.fileSize;
    data.width = row.width;
    data.height = row.height;
    if (row.kind == MtChatRow::Image)
        data.image = image;
    if (row.kind == MtChatRow::Notice)
        qDebug().noquote().nospace() << "MtChatWidget::addAlarmMessage alarmMessage:" << row.text;
    insertEntry(data, insertFirst);
    return true;
}

void MtChatWidget::announce(const QString& messageId)
{
    const int at = row(findEntry(messageId));
    if (at < 0 || !QAccessible::isActive())
        return;
    QAccessibleEvent event(this, QAccessible::ObjectCreated);
    event.setChild(at);
    QAccessible::updateAccessibility(&event);
}

MtChatEntry* MtChatWidget::findEntry(const QString& messageId) const
{
    // Separators and leave notices have no message id; none of them is a message.
    if (messageId.isEmpty())
        return nullptr;
    const QList<MtChatEntry*> entries = m_byId.values(messageId);
    MtChatEntry* lowest = nullptr;
    int lowestRow = -1;
    for (MtChatEntry* entry : entries) {
        const int at = entries.size() == 1 ? 0 : row(entry);
        if (at > lowestRow) {
            lowest = entry;
            lowestRow = at;
        }
    }
    return lowest;
}

MtChatBaseItem* MtChatWidget::findItem(const QString& messageId) const
{
    return liveItem(findEntry(messageId));
}

bool MtChatWidget::containsMessage(const QString& messageId) const
{
    return findEntry(messageId) != nullptr;
}

bool MtChatWidget::setMessageReadCount(const QString& messageId, int count)
{
    MtChatEntry* entry = findEntry(messageId);
    if (!entry)
        return false;
    if (MtChatBaseItem* item = entry->widget())
        item->setReadCount(count);
    else
        entry->data().readCount = count;
    return true;
}

bool MtChatWidget::setMessageState(const QString& messageId, int state)
{
    MtChatEntry* entry = findEntry(messageId);
    if (!entry)
        return false;
    if (MtChatBaseItem* item = entry->widget()) {
        item->setState(state);
        return true;
    }
    // The progress group comes and goes with the state: the row's height may change.
    entry->data().state = state;
    measure(entry);
    itemSizeChanged();
    return true;
}

bool MtChatWidget::setMessageProgress(const QString& messageId, int value)
{
    MtChatEntry* entry = findEntry(messageId);
    if (!entry)
        return false;
    if (MtChatBaseItem* item = entry->widget())
        item->setProgress(value);
    else
        entry->data().progress = value;
    return true;
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

bool MtChatWidget::wasScrolledToBottom() const
{
    if (count() < 2 || m_rowHeights.isEmpty())
        return true;
    // The upper third of the last row is in view when the view stands at most two thirds of
    // that row above its end.
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() >= bar->maximum() - m_rowHeights.last() * 2 / 3;
}

void MtChatWidget::beginBatch()
{
    ++m_batch;
}

void MtChatWidget::endBatch()
{
    if (m_batch == 0 || --m_batch > 0)
        return;
    // Items are made once the row to show is in place, not where the view stood.
    ++m_layoutCount;
    QListWidget::doItemsLayout();
    if (holdsShownRow())
        holdShownRow();
    updateLiveRows(false);
    scheduleDrop();
    m_remeasureTimer.start();
}

MtChatBaseItem* MtChatWidget::showMessage(const QString& messageId)
{
    MtChatEntry* entry = findEntry(messageId);
    if (!entry)
        return nullptr;
    m_shownRow = nullptr;
    m_shownId = messageId;
    holdShownRow();
    return liveItem(entry);
}

void MtChatWidget::showRowAtTop(QListWidgetItem* row)
{
    if (!row || row->listWidget() != this || row->type() != MtChatEntry::kType)
        return;
    m_shownId.clear();
    m_shownRow = static_cast<MtChatEntry*>(row);
    if (m_batch == 0)
        holdShownRow();
}

void MtChatWidget::holdShownRow()
{
    // The rows that come into view take their items' heights, which may differ from their
    // measured ones; the row is placed again until they settle (a few rounds at most).
    for (int round = 0; round < 3; ++round) {
        placeShownMessage();
        if (!m_relayoutTimer.isActive())
            break;
        m_relayoutTimer.stop();
        doItemsLayout();
    }
    m_stickToBottom = false;
}

void MtChatWidget::placeShownMessage()
{
    MtChatEntry* entry = m_shownRow ? m_shownRow : findEntry(m_shownId);
    if (!entry) {
        releaseShownMessage();
        return;
    }
    executeDelayedItemsLayout();
    const bool fits = visualItemRect(entry).height() <= viewport()->height();
    scrollToItem(entry, fits && !m_shownRow ? QAbstractItemView::PositionAtCenter
                                            : QAbstractItemView::PositionAtTop);
}

void MtChatWidget::releaseShownMessage()
{
    m_shownId.clear();
    m_shownRow = nullptr;
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
    // The items die after this returns; until then they must not touch their rows.
    for (MtChatEntry* entry : qAsConst(m_live)) {
        if (MtChatBaseItem* item = entry->widget()) {
            disconnect(item, nullptr, this, nullptr);
            item->setListItem(nullptr);
        }
    }
    m_live.clear();
    m_byId.clear();
    releaseShownMessage();
    m_rowHeights.clear();
    m_dateItemCount = 0;
    m_bottomDate = QDate();
    m_topDate = QDate();
    m_newMessageButton->hide();
    QListWidget::clear();
}

void MtChatWidget::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    for (int row = start; row <= end; ++row) {
        MtChatEntry* entry = entryAt(row);
        if (!entry)
            continue;
        // The item dies later than its row; until then it must not touch it.
        if (MtChatBaseItem* item = entry->widget())
            item->setListItem(nullptr);
        m_live.remove(entry);
        m_byId.remove(entry->data().messageId, entry);
        if (entry == m_shownRow)
            m_shownRow = nullptr;
        if (entry->isDate())
            m_dateItemCount = qMax(0, m_dateItemCount - 1);
    }
    if (start >= 0 && end < m_rowHeights.size())
        m_rowHeights.remove(start, end - start + 1);
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
    if (holdsShownRow())
        placeShownMessage();
    else if (m_stickToBottom)
        scrollToBottom();
    m_stickToBottom = false;
}

void MtChatWidget::clearTextSelections(QWidget* except)
{
    // Only items carry selections; rows without one have nothing selected.
    for (MtChatEntry* entry : qAsConst(m_live)) {
        MtChatBaseItem* item = entry->widget();
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
    } else if (watched == this && event->type() == QEvent::KeyPress) {
        // The picture's button takes no focus: without a mouse, Return on its row opens it.
        const int key = static_cast<QKeyEvent*>(event)->key();
        const MtChatEntryData row = rowData(currentRow());
        const bool picture = row.itemType == MtChatBaseItem::ItemType_ChatImage ||
                             row.itemType == MtChatBaseItem::ItemType_MyChatImage;
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && picture &&
            row.contentType == ContentTypeImage) {
            emit imageOpened(row.messageId);
            return true;
        }
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
    if (event->oldSize().width() != event->size().width()) {
        itemSizeChanged();
        m_remeasureTimer.start();
    }
    placeNewMessageButton();
    if (m_newMessageButton->isVisible())
        refillNewMessageButton();
}
