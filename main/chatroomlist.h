#pragma once

#include "main/chatroomfilter.h"

#include <QHash>
#include <QListWidget>
#include <QPointer>
#include <QSet>

#include <utility>

class ChatRoomItem;
class ChatRoomListWidgetItem;
class DBChat;
class DBChatRoom;
class DBManager;
class NetServerManager;
class QTimer;

// The main window's list of chat rooms, newest activity first, one row per topic.
//
// Rows are cheap items; the row widgets (ChatRoomItem) exist only for the rows in and near the
// viewport and are made again when scrolled back, so a thousand rooms fill without a thousand
// widget trees. Pictures are looked up, requested and composed only for those rows, and a
// picture that arrives rebuilds only the rows that show it, at once for rows with a widget and
// once per short batch of answers for the others.
class ChatRoomList : public QListWidget
{
    Q_OBJECT
public:
    // How long picture answers for rows without a widget are gathered before those rows are
    // rebuilt; a row with a widget takes its picture at the next turn of the event loop.
    static constexpr int kPictureBatchMsec = 100;
    // Rows near the view made per turn of the event loop: the pictures of the rows in view,
    // which come meanwhile, go in between rather than after them all.
    static constexpr int kAroundRowsPerTurn = 3;

    explicit ChatRoomList(QWidget* parent = nullptr);
    ~ChatRoomList() override;

    // The store of the rows' look-ups (members' names and pictures, on the GUI thread's
    // connection), the engine that fetches pictures (may be null: cached pictures only) and the
    // user's own id. Nothing is owned.
    void setSession(DBManager* db, NetServerManager* net, qint64 ownUserId);

    // Adds the room at the top or at the end; a topic already listed is updated in place
    // instead, so a room never shows twice.
    void addChatRoom(const DBChatRoom& room, bool atTop = false);
    // Keeps the bottom `pixels` of the list free of rows (a button floats there), so that the
    // last row can be scrolled above it instead of under it.
    void reserveBottom(int pixels) { setViewportMargins(0, 0, 0, pixels); }
    // Replaces every row by the rooms in their order (the store's, newest first), each topic
    // once: the rebuild after a rooms answer.
    void setChatRooms(const QList<DBChatRoom>& rooms);
    // Removes every row (log off).
    void clearChatRooms();

    bool containsChatRoom(const DBChatRoom& room) const;
    bool containsTopic(const QString& topic) const { return m_items.contains(topic); }
    void updateChatRoomItem(const DBChatRoom& room);
    void deleteChatRoom(const QString& topic);
    // A newer chat of a listed room: the row shows it and moves up to its place by time; an
    // older one changes nothing but the badge. The badge follows the unread-count table.
    void updateLastMessage(const DBChat& chat);
    void setUnreadCount(const QString& topic, int count);
    // The row of the one-to-one room with the user, or null.
    QListWidgetItem* findOneToOneItem(qint64 userId) const;
    // Hides the rows whose room name does not match (see ChatRoomFilter); empty shows all.
    void filterChatRooms(const QString& text);
    // The directory changed: every row looks its pictures up again.
    void updateChatRoomThumbnailImage();

    ChatRoomListWidgetItem* chatRoomItem(const QString& topic) const;
    ChatRoomListWidgetItem* chatRoomItem(int row) const;
    // The widget of a row, null while the row has none (far from the viewport).
    ChatRoomItem* rowWidget(const QString& topic) const;
    // The topics from the top down, hidden rows included.
    QStringList topics() const;
    // The topics of the rows the filter leaves visible, from the top down.
    QStringList visibleTopics() const;
    // The visible rows in view, from the top.
    QList<ChatRoomListWidgetItem*> rowsInView() const;
    // Whether every row in view has its widget and shows all its pictures, none of them still
    // a stand-in for one on its way (what a benchmark waits for).
    bool rowsInViewPictured() const;
    // Whether every row in view has its widget and waits for none of its pictures (a picture
    // that failed is not waited for).
    bool rowsInViewSettled() const;

    // Makes the widgets of the rows in and near the viewport and drops those far from it. Runs
    // by itself after every change (the rows in view first, those near them after the next
    // paint); callers only need it to have the rows at once.
    void ensureRowWidgets() { makeRowWidgets(true); }
    // Makes and styles the widgets of the rows a view shows at once, hidden, and draws one off
    // screen (which loads the fonts), so that the first rows after a login are made without
    // either: done while the login page waits for the user, on a laid-out list. `net` (may be
    // null) hears how many rows that is: a login may read its room list before this list takes
    // the session, and asks for those rooms' pictures first.
    void prepareRows(NetServerManager* net = nullptr);

signals:
    void clickedMemberIcon(int userId);
    void selectedItemWidget(QListWidgetItem* item);

public slots:
    // Answers of the picture engine. The rows that use the URL are rebuilt in one batch.
    void onImageSuccess(QString urlFilePath, QString filePath, QWidget* widget);
    void onImageFailure(QString urlFilePath, QWidget* widget);
    // A picture of the URL is now in the cache (also when another engine fetched it).
    void pictureArrived(const QString& urlFilePath);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    ChatRoomListWidgetItem* newItem(const DBChatRoom& room);
    void placeByTime(ChatRoomListWidgetItem* item);
    void refreshRow(ChatRoomListWidgetItem* item);
    void refreshPicture(ChatRoomListWidgetItem* item, ChatRoomItem* widget);
    void requestPictures(ChatRoomListWidgetItem* item);
    ChatRoomItem* makeRowWidget(ChatRoomListWidgetItem* item);
    void dropRowWidget(ChatRoomListWidgetItem* item);
    void scheduleRowWidgets();
    // The rows in view now, those near them after the next paint.
    void makeRowsInView();
    // The rows in view; with `around`, also those near the view. False when the list shows no
    // row.
    // `aroundBudget`: at most that many rows near the view are made (-1: all of them); `more`
    // is then set when some are still without their widget.
    bool makeRowWidgets(bool around, int aroundBudget = -1, bool* more = nullptr);
    void rebuildArrivedPictures();
    // The first and last row the viewport shows (a part of one counts), hidden rows included.
    std::pair<int, int> viewRows() const;
    // Once per list set, when its rows in view have been painted and have settled (or the list
    // is not shown): the engine fetches the other rooms' pictures only then, so that they never
    // compete with them.
    void askForLaterPictures();
    // A picture came or failed: what waits for the rows in view to have theirs goes on.
    void picturesSettling();
    // The engine asks for the pictures of that many rooms before the list is shown.
    void tellRowsShownAtOnce();
    int rowsShownAtOnce() const;

    DBManager* m_db = nullptr;
    // The session replaces its engine at log off: a deleted one is never touched.
    QPointer<NetServerManager> m_net;
    qint64 m_ownUserId = 0;
    QHash<QString, ChatRoomListWidgetItem*> m_items;
    QSet<ChatRoomListWidgetItem*> m_withWidget;
    // Row widgets made while the login page waits for the user (prepareRows()), hidden until
    // rows take them.
    QList<ChatRoomItem*> m_rowsAhead;
    QSet<QString> m_requested;
    QSet<QString> m_arrived;
    ChatRoomFilter m_filter;
    QTimer* m_rowTimer = nullptr;
    QTimer* m_aroundTimer = nullptr;
    // The rows in view were made; those near them wait for the next paint.
    bool m_aroundDue = false;
    // The rows near the view wait for the pictures of those in view.
    bool m_aroundAfterPictures = false;
    // The rows near the view wait for the pictures that came to be put in.
    bool m_aroundAfterRebuild = false;
    QTimer* m_pictureTimer = nullptr;
    bool m_laterPicturesDue = false;
};
