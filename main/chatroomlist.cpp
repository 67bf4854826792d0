#include "main/chatroomlist.h"

#include "main/chatroomitem.h"
#include "main/chatroomlistwidgetitem.h"
#include "net/filemanager.h"
#include "net/netdecodedpictures.h"
#include "net/netservermanager.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbtypes.h"
#include "store/unreadcounts.h"

#include <QDebug>
#include <QKeyEvent>
#include <QPixmap>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kRowHeight = 80;

// A picture the engine decoded as it came, or the file read now.
QPixmap loadRowPicture(const QString& file)
{
    QImage decoded = NetDecodedPictures::take(file);
    return decoded.isNull() ? QPixmap(file) : QPixmap::fromImage(std::move(decoded));
}

} // namespace

ChatRoomList::ChatRoomList(QWidget* parent)
    : QListWidget(parent), m_rowTimer(new QTimer(this)), m_aroundTimer(new QTimer(this)),
      m_pictureTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("chatRoomListWidget"));
    setStyleSheet(QStringLiteral("QListWidget { border: none; outline: none; }"
                                 "QListWidget::item:selected { background: #FFF280; }") +
                  ChatRoomItem::rowStyleSheet());
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    installEventFilter(this);

    m_rowTimer->setSingleShot(true);
    m_rowTimer->setInterval(0);
    connect(m_rowTimer, &QTimer::timeout, this, &ChatRoomList::makeRowsInView);
    m_aroundTimer->setSingleShot(true);
    m_aroundTimer->setInterval(0);
    connect(m_aroundTimer, &QTimer::timeout, this, [this] {
        // The pictures of the rows in view come first: making rows near the view took the time
        // in which those are put in and painted.
        if (!rowsInViewSettled()) {
            m_aroundAfterPictures = true;
            return;
        }
        bool more = false;
        if (makeRowWidgets(true, kAroundRowsPerTurn, &more) && more)
            m_aroundTimer->start();
        askForLaterPictures();
    });
    // Started by the first answer of a batch and not restarted by later ones, so a steady
    // stream of answers still shows its pictures every batch interval (pictureArrived()).
    m_pictureTimer->setSingleShot(true);
    connect(m_pictureTimer, &QTimer::timeout, this, &ChatRoomList::rebuildArrivedPictures);

    connect(model(), &QAbstractItemModel::rowsInserted, this, &ChatRoomList::scheduleRowWidgets);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, &ChatRoomList::scheduleRowWidgets);
    connect(model(), &QAbstractItemModel::layoutChanged, this, &ChatRoomList::scheduleRowWidgets);
}

ChatRoomList::~ChatRoomList() = default;

void ChatRoomList::setSession(DBManager* db, NetServerManager* net, qint64 ownUserId)
{
    if (m_net)
        disconnect(m_net, nullptr, this, nullptr);
    m_db = db;
    m_net = net;
    m_ownUserId = ownUserId;
    m_requested.clear();
    if (m_net) {
        connect(m_net, &NetServerManager::onImageSuccess, this, &ChatRoomList::onImageSuccess);
        connect(m_net, &NetServerManager::onImageFailure, this, &ChatRoomList::onImageFailure);
    }
    tellRowsShownAtOnce();
    updateChatRoomThumbnailImage();
}

void ChatRoomList::tellRowsShownAtOnce()
{
    // A row cut off at the bottom is in view too. The height the viewport gets from the list's
    // size: a list laid out while hidden has its new size, but its viewport only takes it once
    // shown.
    if (m_net)
        m_net->setRoomsShownAtOnce(rowsShownAtOnce());
}

int ChatRoomList::rowsShownAtOnce() const
{
    return (maximumViewportSize().height() + kRowHeight - 1) / kRowHeight;
}

ChatRoomListWidgetItem* ChatRoomList::newItem(const DBChatRoom& room)
{
    ChatRoomRowState state;
    state.unread = unreadCounts().get(room.topic());
    state.setRoom(room);
    auto* item = new ChatRoomListWidgetItem(state);
    item->setSizeHint(QSize(0, kRowHeight));
    m_items.insert(room.topic(), item);
    return item;
}

void ChatRoomList::addChatRoom(const DBChatRoom& room, bool atTop)
{
    if (m_items.contains(room.topic())) {
        updateChatRoomItem(room);
        return;
    }
    ChatRoomListWidgetItem* item = newItem(room);
    if (atTop) {
        insertItem(0, item);
    } else {
        // A room that arrives later (a push about a new group room) takes its place in time
        // order like every other row, not the bottom of the list.
        addItem(item);
        placeByTime(item);
    }
    item->setHidden(!m_filter.matches(room.roomName()));
}

void ChatRoomList::setChatRooms(const QList<DBChatRoom>& rooms)
{
    clearChatRooms();
    for (const DBChatRoom& room : rooms) {
        if (m_items.contains(room.topic()))
            continue;
        ChatRoomListWidgetItem* item = newItem(room);
        addItem(item);
        item->setHidden(!m_filter.matches(room.roomName()));
    }
    m_laterPicturesDue = true;
    // The paint that shows the new list comes before a timer: rows painted without their
    // widgets would show blank until the next one.
    if (isVisible())
        makeRowsInView();
}

void ChatRoomList::prepareRows(NetServerManager* net)
{
    // Shown for the first time, a row is styled: the list's style sheet is matched against each
    // of its parts. After a login that doubled the time of making the rows in view, and their
    // pictures, coming meanwhile, waited for it.
    const int wanted = rowsShownAtOnce();
    if (net)
        net->setRoomsShownAtOnce(wanted);
    while (m_rowsAhead.size() < wanted) {
        auto* row = new ChatRoomItem(viewport());
        row->hide();
        row->ensurePolished();
        m_rowsAhead.append(row);
    }
    if (m_rowsAhead.isEmpty())
        return;
    // The first text laid out in a font loads it, and the first Hangul loads a fallback font as
    // well: that took a third of the time of making the rows in view after a login. The
    // organisation's names mix Latin and Hangul, so the sample row does too. A row made from
    // this one is given every text of its room.
    ChatRoomItem* sample = m_rowsAhead.constLast();
    ChatRoomRow text;
    text.title = QStringLiteral("Aa 가나, Bb");
    text.memberCount = QStringLiteral("12");
    text.time = QStringLiteral("09:41");
    text.message = QStringLiteral("Aa 가나 09:41");
    text.badge = QStringLiteral("3");
    sample->setRow(text, QString());
    sample->resize(viewport()->width(), kRowHeight);
    QPixmap canvas(sample->size());
    sample->render(&canvas);
}

void ChatRoomList::clearChatRooms()
{
    m_withWidget.clear();
    m_items.clear();
    clear();
}

bool ChatRoomList::containsChatRoom(const DBChatRoom& room) const
{
    return m_items.contains(room.topic());
}

void ChatRoomList::updateChatRoomItem(const DBChatRoom& room)
{
    ChatRoomListWidgetItem* item = m_items.value(room.topic());
    if (!item)
        return;
    item->state().setRoom(room);
    item->refreshTime();
    item->forgetPicture(true);
    item->setHidden(!m_filter.matches(room.roomName()));
    refreshRow(item);
}

void ChatRoomList::deleteChatRoom(const QString& topic)
{
    qDebug().noquote().nospace() << "ChatRoomList::deleteChatRoom"
                                 << " topic:" << topic;
    ChatRoomListWidgetItem* item = m_items.take(topic);
    if (!item)
        return;
    if (QWidget* widget = itemWidget(item))
        disconnect(widget, nullptr, this, nullptr);
    m_withWidget.remove(item);
    delete item;
}

void ChatRoomList::updateLastMessage(const DBChat& chat)
{
    ChatRoomListWidgetItem* item = m_items.value(chat.topic());
    if (!item)
        return;
    item->state().unread = unreadCounts().get(chat.topic());
    if (item->state().takeMessage(chat.toContentText(), chat.msgTime())) {
        item->refreshTime();
        placeByTime(item);
    }
    refreshRow(item);
}

void ChatRoomList::setUnreadCount(const QString& topic, int count)
{
    ChatRoomListWidgetItem* item = m_items.value(topic);
    if (!item)
        return;
    item->state().unread = count;
    refreshRow(item);
}

QListWidgetItem* ChatRoomList::findOneToOneItem(qint64 userId) const
{
    const QString members = QString::number(userId);
    for (int i = 0; i < count(); ++i) {
        const ChatRoomListWidgetItem* item = chatRoomItem(i);
        if (item && item->state().room.type() == RoomType1VS1 &&
            item->state().room.members() == members)
            return const_cast<ChatRoomListWidgetItem*>(item);
    }
    return nullptr;
}

void ChatRoomList::filterChatRooms(const QString& text)
{
    qDebug().noquote() << "ChatRoomList::filterChatRooms - search =" << text;
    m_filter = ChatRoomFilter(text);
    for (int i = 0; i < count(); ++i) {
        ChatRoomListWidgetItem* item = chatRoomItem(i);
        item->setHidden(!m_filter.matches(item->state().room.roomName()));
    }
    scheduleRowWidgets();
}

void ChatRoomList::updateChatRoomThumbnailImage()
{
    qDebug().noquote() << "ChatRoomList::updateChatRoomThumbnailImage";
    for (ChatRoomListWidgetItem* item : qAsConst(m_items))
        item->forgetPicture(true);
    for (ChatRoomListWidgetItem* item : qAsConst(m_withWidget))
        refreshPicture(item, qobject_cast<ChatRoomItem*>(itemWidget(item)));
}

ChatRoomListWidgetItem* ChatRoomList::chatRoomItem(const QString& topic) const
{
    return m_items.value(topic);
}

ChatRoomListWidgetItem* ChatRoomList::chatRoomItem(int row) const
{
    QListWidgetItem* found = item(row);
    return found && found->type() == ChatRoomListWidgetItem::kItemType
               ? static_cast<ChatRoomListWidgetItem*>(found)
               : nullptr;
}

ChatRoomItem* ChatRoomList::rowWidget(const QString& topic) const
{
    ChatRoomListWidgetItem* item = m_items.value(topic);
    return item ? qobject_cast<ChatRoomItem*>(itemWidget(item)) : nullptr;
}

QStringList ChatRoomList::topics() const
{
    QStringList result;
    for (int i = 0; i < count(); ++i)
        result.append(chatRoomItem(i)->topic());
    return result;
}

QStringList ChatRoomList::visibleTopics() const
{
    QStringList result;
    for (int i = 0; i < count(); ++i) {
        if (!item(i)->isHidden())
            result.append(chatRoomItem(i)->topic());
    }
    return result;
}

void ChatRoomList::placeByTime(ChatRoomListWidgetItem* item)
{
    const int from = row(item);
    const qint64 time = item->time();
    int target = 0;
    for (int i = 0; i < count(); ++i) {
        if (i == from)
            continue;
        if (chatRoomItem(i)->time() <= time)
            break;
        ++target;
    }
    if (target == from)
        return;
    // Moved, the row keeps its widget, its selection and its place in assistive tools' view;
    // taken out and put back, its widget would be destroyed and made anew for every chat that
    // brings a room to the top.
    if (!model()->moveRow(QModelIndex(), from, QModelIndex(), target > from ? target + 1 : target))
        qWarning().noquote().nospace()
            << "ChatRoomList::placeByTime - row not moved, from:" << from << " to:" << target;
}

void ChatRoomList::refreshRow(ChatRoomListWidgetItem* item)
{
    auto* widget = qobject_cast<ChatRoomItem*>(itemWidget(item));
    if (!widget)
        return;
    const ChatRoomRowState& state = item->state();
    const QLocale locale;
    widget->setRow(ChatRoomRowText::describe(state, QDateTime::currentDateTime(), locale),
                   ChatRoomRowText::longTimeText(state.shownTime(), locale));
    widget->setMembers(state.room.type(), state.room.members(), m_ownUserId);
    refreshPicture(item, widget);
}

void ChatRoomList::refreshPicture(ChatRoomListWidgetItem* item, ChatRoomItem* widget)
{
    if (!widget)
        return;
    if (!item->hasPictureSources()) {
        item->setPictureSources(m_db ? mtRoomPictureSources(*m_db, item->state().room, m_ownUserId)
                                     : MtRoomPictureSources());
        requestPictures(item);
    }
    if (item->picture().isNull()) {
        bool whole = true;
        const QPixmap picture =
            mtRoomMosaic(item->pictureSources(), &FileManager::cachedFile, widget->pictureSize(),
                         widget->devicePixelRatioF(), &whole, &loadRowPicture);
        item->setPicture(picture, whole);
    }
    widget->setPicture(item->picture());
}

void ChatRoomList::requestPictures(ChatRoomListWidgetItem* item)
{
    if (!m_net)
        return;
    for (const QString& url : item->pictureSources().urls) {
        if (url.isEmpty() || m_requested.contains(url) || !FileManager::cachedFile(url).isEmpty())
            continue;
        if (m_net->requestImage(url, this).isEmpty())
            m_requested.insert(url);
    }
}

ChatRoomItem* ChatRoomList::makeRowWidget(ChatRoomListWidgetItem* item)
{
    auto* widget = m_rowsAhead.isEmpty() ? new ChatRoomItem : m_rowsAhead.takeLast();
    connect(widget, &ChatRoomItem::clickedMemberIcon, this, &ChatRoomList::clickedMemberIcon);
    setItemWidget(item, widget);
    m_withWidget.insert(item);
    refreshRow(item);
    return widget;
}

void ChatRoomList::dropRowWidget(ChatRoomListWidgetItem* item)
{
    if (QWidget* widget = itemWidget(item))
        disconnect(widget, nullptr, this, nullptr);
    removeItemWidget(item);
    m_withWidget.remove(item);
}

void ChatRoomList::scheduleRowWidgets()
{
    if (!m_rowTimer->isActive())
        m_rowTimer->start();
}

void ChatRoomList::makeRowsInView()
{
    // Making a row takes milliseconds: the rows in view are made and painted first, and those
    // near the view at the turn of the event loop after that paint (paintEvent()). So are the
    // other rooms' pictures asked for: fetched and written meanwhile, they took the processor
    // that paint needs.
    m_rowTimer->stop();
    const bool made = makeRowWidgets(false);
    if (!made) {
        askForLaterPictures();
        return;
    }
    m_aroundDue = true;
    viewport()->update();
}

bool ChatRoomList::makeRowWidgets(bool around, int aroundBudget, bool* more)
{
    if (!isVisible() || count() == 0)
        return false;
    executeDelayedItemsLayout();
    const auto [firstRow, lastRow] = viewRows();
    const int span = qMax(1, lastRow - firstRow + 1);
    const int keepFrom = firstRow - 2 * span;
    const int keepTo = lastRow + 2 * span;
    const QSet<ChatRoomListWidgetItem*> withWidget = m_withWidget;
    for (ChatRoomListWidgetItem* item : withWidget) {
        const int at = row(item);
        if (at < keepFrom || at > keepTo || item->isHidden())
            dropRowWidget(item);
    }
    // The rows in view first, then those below and above: a new row asks for its pictures, and
    // those asked for first are fetched first.
    const int to = qMin(count() - 1, lastRow + span);
    const int from = qMax(0, firstRow - span);
    int budget = -1;
    auto make = [this, &budget, more](int first, int last) {
        for (int i = first; i <= last; ++i) {
            ChatRoomListWidgetItem* item = chatRoomItem(i);
            if (!item || item->isHidden() || m_withWidget.contains(item))
                continue;
            if (budget == 0) {
                if (more)
                    *more = true;
                return;
            }
            makeRowWidget(item);
            if (budget > 0)
                --budget;
        }
    };
    make(firstRow, qMin(lastRow, to));
    if (!around)
        return true;
    budget = aroundBudget;
    make(lastRow + 1, to);
    make(from, firstRow - 1);
    return true;
}

std::pair<int, int> ChatRoomList::viewRows() const
{
    const QModelIndex first = indexAt(QPoint(1, 1));
    const QModelIndex last = indexAt(QPoint(1, viewport()->height() - 2));
    return {first.isValid() ? first.row() : 0, last.isValid() ? last.row() : count() - 1};
}

QList<ChatRoomListWidgetItem*> ChatRoomList::rowsInView() const
{
    QList<ChatRoomListWidgetItem*> rows;
    if (count() == 0)
        return rows;
    const auto [firstRow, lastRow] = viewRows();
    for (int i = firstRow; i <= lastRow; ++i) {
        ChatRoomListWidgetItem* item = chatRoomItem(i);
        if (item && !item->isHidden())
            rows << item;
    }
    return rows;
}

bool ChatRoomList::rowsInViewPictured() const
{
    const QList<ChatRoomListWidgetItem*> rows = rowsInView();
    return count() > 0 && std::all_of(rows.cbegin(), rows.cend(), [this](auto* item) {
               return itemWidget(item) && item->isPictureWhole();
           });
}

bool ChatRoomList::rowsInViewSettled() const
{
    const QList<ChatRoomListWidgetItem*> rows = rowsInView();
    return std::all_of(rows.cbegin(), rows.cend(), [this](ChatRoomListWidgetItem* item) {
        if (!itemWidget(item))
            return false;
        const QStringList& urls = item->pictureSources().urls;
        return std::none_of(urls.cbegin(), urls.cend(),
                            [this](const QString& url) { return m_requested.contains(url); });
    });
}

void ChatRoomList::picturesSettling()
{
    if (m_aroundAfterPictures && rowsInViewSettled()) {
        m_aroundAfterPictures = false;
        m_aroundTimer->start();
    }
    askForLaterPictures();
}

void ChatRoomList::askForLaterPictures()
{
    if (!m_laterPicturesDue || !m_net || (isVisible() && !rowsInViewSettled()))
        return;
    m_laterPicturesDue = false;
    m_net->prefetchRoomPictures();
}

void ChatRoomList::onImageSuccess(QString urlFilePath, QString filePath, QWidget* widget)
{
    Q_UNUSED(filePath)
    Q_UNUSED(widget)
    m_requested.remove(urlFilePath);
    pictureArrived(urlFilePath);
}

void ChatRoomList::onImageFailure(QString urlFilePath, QWidget* widget)
{
    Q_UNUSED(widget)
    // Forgotten, so that the row asks again the next time it is shown.
    m_requested.remove(urlFilePath);
    picturesSettling();
}

void ChatRoomList::pictureArrived(const QString& urlFilePath)
{
    m_arrived.insert(urlFilePath);
    // A picture a row with a widget waits for goes in at the next turn of the event loop, with
    // every answer queued by then: the user is looking at that row. Those of rows far from the
    // view (the prefetch) wait for the batch.
    const bool near = std::any_of(m_withWidget.cbegin(), m_withWidget.cend(),
                                  [&urlFilePath](const ChatRoomListWidgetItem* item) {
                                      return item->pictureSources().urls.contains(urlFilePath);
                                  });
    if (near) {
        // Rows near the view due now wait for the paint that shows the picture.
        if (m_aroundTimer->isActive()) {
            m_aroundTimer->stop();
            m_aroundAfterRebuild = true;
        }
        m_pictureTimer->start(0);
    } else if (!m_pictureTimer->isActive()) {
        m_pictureTimer->start(kPictureBatchMsec);
    }
}

void ChatRoomList::rebuildArrivedPictures()
{
    const QSet<QString> arrived = std::exchange(m_arrived, {});
    // A row with a widget repaints with its new picture.
    bool shownChanged = false;
    for (ChatRoomListWidgetItem* item : qAsConst(m_items)) {
        // A whole picture was composed from the cached files: its row was made after they came
        // (the answers wait in the queue while the rows are made).
        if (!item->hasPictureSources() || item->isPictureWhole())
            continue;
        const QStringList& urls = item->pictureSources().urls;
        const bool uses = std::any_of(urls.begin(), urls.end(),
                                      [&](const QString& url) { return arrived.contains(url); });
        if (!uses)
            continue;
        item->forgetPicture(false);
        auto* widget = qobject_cast<ChatRoomItem*>(itemWidget(item));
        refreshPicture(item, widget);
        shownChanged = shownChanged || widget;
    }
    picturesSettling();
    // Rows near the view due before the paint that shows the new pictures wait for it (the
    // turn of their timer came first), as they wait for the paint that shows new rows.
    if (std::exchange(m_aroundAfterRebuild, false) || (shownChanged && m_aroundTimer->isActive())) {
        m_aroundTimer->stop();
        if (shownChanged)
            m_aroundDue = true;
        else
            m_aroundTimer->start();
    }
}

bool ChatRoomList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // A search may hide the current row: Return then opens nothing rather than a room the
        // user cannot see.
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && currentItem() &&
            !currentItem()->isHidden()) {
            emit selectedItemWidget(currentItem());
            return true;
        }
    }
    return QListWidget::eventFilter(watched, event);
}

void ChatRoomList::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    tellRowsShownAtOnce();
    scheduleRowWidgets();
}

void ChatRoomList::showEvent(QShowEvent* event)
{
    QListWidget::showEvent(event);
    // Laid out by now; the first paint comes before a timer would.
    makeRowsInView();
}

void ChatRoomList::paintEvent(QPaintEvent* event)
{
    QListWidget::paintEvent(event);
    if (std::exchange(m_aroundDue, false))
        m_aroundTimer->start();
}

void ChatRoomList::scrollContentsBy(int dx, int dy)
{
    QListWidget::scrollContentsBy(dx, dy);
    scheduleRowWidgets();
}
