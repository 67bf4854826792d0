#pragma once

#include "widgets/mtchatentry.h"

#include <QDate>
#include <QHash>
#include <QListWidget>
#include <QMultiHash>
#include <QPixmap>
#include <QSet>
#include <QTimer>

#include <memory>

class DBChat;
class MtChatAlarmItem;
class MtChatHeights;
class MtChatBaseItem;
class MtChatDateItem;
class MtChatFileItem;
class MtChatImageItem;
class MtChatItem;
class MtMyChatFileItem;
class MtMyChatImageItem;
class MtMyChatItem;
class QPushButton;

// The conversation of a chat window: bubbles in time order with a date separator above every
// day, the user's unconfirmed messages below the settled ones, a bar announcing new messages
// while older ones are read, and a signal when the top is reached (to load older history).
// The items' requests reach the window through the view's signals.
//
// Its cost does not grow with the conversation: every row keeps its data and its measured
// height, and only rows near the viewport carry an item widget, made when they come near and
// let go (deleted later) two screens away. An item returned by an add operation, findItem or
// chatItem stays valid until control returns to the event loop; keep message ids, not items,
// beyond that.
class MtChatWidget : public QListWidget
{
    Q_OBJECT
public:
    explicit MtChatWidget(QWidget* parent = nullptr);
    ~MtChatWidget() override;

    MtChatItem* addChatMessage(const QString& messageId, const QPixmap& picture,
                               const QString& name, int senderId, const QDateTime& dateTime,
                               const QString& text, int contentType, int readCount, int state,
                               bool insertFirst);
    MtMyChatItem* addMyChatMessage(const QString& messageId, const QPixmap& picture,
                                   const QString& name, int senderId, const QDateTime& dateTime,
                                   const QString& text, int contentType, int readCount, int state,
                                   bool insertFirst);
    MtChatImageItem* addChatImage(const QString& messageId, const QPixmap& picture,
                                  const QString& name, int senderId, const QDateTime& dateTime,
                                  const QString& filePath, const QString& fileName,
                                  const QPixmap& image, int width, int height, int contentType,
                                  int readCount, int state, bool insertFirst);
    MtMyChatImageItem* addMyChatImage(const QString& messageId, const QPixmap& picture,
                                      const QString& name, int senderId, const QDateTime& dateTime,
                                      const QString& filePath, const QString& fileName,
                                      const QPixmap& image, int width, int height, int contentType,
                                      int readCount, int state, bool insertFirst);
    MtChatFileItem* addChatFile(const QString& messageId, const QPixmap& picture,
                                const QString& name, int senderId, const QDateTime& dateTime,
                                const QString& filePath, const QString& fileName, qint64 fileSize,
                                int readCount, int state, bool insertFirst);
    MtMyChatFileItem* addMyChatFile(const QString& messageId, const QPixmap& picture,
                                    const QString& name, int senderId, const QDateTime& dateTime,
                                    const QString& filePath, const QString& fileName,
                                    qint64 fileSize, int readCount, int state, bool insertFirst);
    // A notice the window adds itself (the read marker): its item lives as long as its row, so
    // that the window may keep it. Stored notices (addChat, addChatRow) are rows like others.
    MtChatAlarmItem* addAlarmMessage(const QString& messageId, const QString& text,
                                     const QDateTime& dateTime, bool insertFirst);

    // A stored chat as the item its row calls for (MtChatRow): `picture` is the sender's,
    // `image` the thumbnail of a picture or video. Null when the chat shows nothing.
    MtChatBaseItem* addChat(const DBChat& chat, bool own, const QPixmap& picture,
                            const QPixmap& image, bool insertFirst);

    // The row of a stored chat without making its item unless the row is near the viewport:
    // the way to add history pages. False when the chat shows nothing.
    bool addChatRow(const DBChat& chat, bool own, const QPixmap& picture, const QPixmap& image,
                    bool insertFirst);

    // The item of a message (made when its row had none), the lowest row when an id is shown
    // twice; null when none.
    MtChatBaseItem* findItem(const QString& messageId) const;
    MtChatBaseItem* chatItem(int row) const;
    // Updates of a message that make no item for a row far from the viewport; false when the
    // message is not shown.
    bool containsMessage(const QString& messageId) const;
    bool setMessageReadCount(const QString& messageId, int count);
    bool setMessageState(const QString& messageId, int state);
    bool setMessageProgress(const QString& messageId, int value);
    // What a row shows (the item's present values when it has one), without making its item;
    // an empty value (type 0) outside the rows.
    MtChatEntryData rowData(int row) const;
    // Rows that carry an item widget now (bounded by the viewport, not the conversation).
    int liveItemCount() const { return m_live.size(); }
    // Layouts of all the rows done so far; each costs in proportion to the rows.
    int layoutCount() const { return m_layoutCount; }
    // A row's height changed (its item or its measurement says so).
    void rowHeightChanged(MtChatEntry* entry);
    // True with fewer than two rows, or when the upper third of the last row is in view.
    bool isScrolledToBottom() const;
    // The same as the rows were last laid out, which is what the user sees: told without laying
    // out the rows added since (a chat arriving asks it before its row is added).
    bool wasScrolledToBottom() const;
    // Rows added between these make no item and lay nothing out (a search paging far back adds
    // thousands); the end lays them out once. Nested calls end with the outermost.
    void beginBatch();
    void endBatch();
    // Scrolls a message's row wholly into view, centred when it fits and its top shown when it
    // does not, and keeps it there while the rows around it take their items' heights, until
    // the user scrolls. Its item; null when the message is not shown.
    MtChatBaseItem* showMessage(const QString& messageId);
    // Scrolls a row to the top of the view and keeps it there as showMessage keeps its row; for
    // rows without a message id (the read marker). Inside a batch the row is placed as the batch
    // ends, before the rows in view get their items, so that none are made where the view was.
    void showRowAtTop(QListWidgetItem* row);
    void showNewMessage(const QString& text);

    QDate bottomDate() const { return m_bottomDate; }
    QDate topDate() const { return m_topDate; }
    int dateItemCount() const { return m_dateItemCount; }
    QPushButton* newMessageButton() const { return m_newMessageButton; }

    // Tells a screen reader that the message's row has come (AT-SPI children-changed:add with
    // the row, whose name is what the row says), without moving the focus.
    void announce(const QString& messageId);

public slots:
    void clear();
    void verticalScrollbarValueChanged(int value) override;
    void verticalScrollBarReleased();
    void dateItemDestroyed(QObject* obj);
    bool insertChatWidget(MtChatBaseItem* item, bool insertFirst);

signals:
    void userPictureButtonClicked(int userId);
    void fileOpened(QString filePath);
    void folderOpened(QString filePath);
    void imageOpened(QString messageId);
    void textOpened(QString messageId);
    void saveFile(QString messageId, bool saveAs);
    void resendClicked(QString messageId);
    void readUserPopupOpened(QString msgId);
    void movedToTop();

protected slots:
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void updateEditorGeometries() override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;

public:
    void doItemsLayout() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    MtChatEntry* insertEntry(const MtChatEntryData& data, bool insertFirst);
    MtChatAlarmItem* addNotice(const QString& messageId, const QString& text,
                               const QDateTime& dateTime, bool insertFirst);
    int bottomInsertRow(const MtChatEntry* entry) const;
    MtChatEntry* entryAt(int row) const;
    MtChatEntry* findEntry(const QString& messageId) const;
    template <typename Item>
    Item* addLiveItem(const MtChatEntryData& data, bool insertFirst);
    MtChatBaseItem* liveItem(MtChatEntry* entry) const;
    void dropItem(MtChatEntry* entry);
    void measure(MtChatEntry* entry);
    int rowWidth() const;
    // Makes the items of the rows around the viewport; with `dropFar`, lets go of far ones.
    void updateLiveRows(bool dropFar);
    void scheduleDrop();
    void remeasureStale();
    void addDateItem(const QDateTime& dateTime, bool atTop);
    void connectItem(MtChatBaseItem* item);
    void watchMessageBox(QWidget* messageBox);
    void itemSizeChanged();
    void relayout();
    bool holdsShownRow() const { return m_shownRow || !m_shownId.isEmpty(); }
    void holdShownRow();
    void placeShownMessage();
    void releaseShownMessage();
    void placeNewMessageButton();
    void refillNewMessageButton();
    void clearTextSelections(QWidget* except);

    QDate m_bottomDate;
    QDate m_topDate;
    int m_dateItemCount = 0;
    QPushButton* m_newMessageButton;
    QTimer m_relayoutTimer;
    bool m_stickToBottom = false;
    // Message id -> rows; an id may be shown twice for a moment (a copy replacing another).
    QMultiHash<QString, MtChatEntry*> m_byId;
    QSet<MtChatEntry*> m_live;
    std::unique_ptr<MtChatHeights> m_heights;
    QVector<int> m_rowHeights; // in row order, read by the list's layout
    QTimer m_dropTimer;
    QTimer m_remeasureTimer;
    bool m_inserting = false;
    bool m_updatingLive = false;
    int m_batch = 0;
    int m_layoutCount = 0;
    QString m_shownId;                 // the message kept in view (showMessage)
    MtChatEntry* m_shownRow = nullptr; // the row kept at the top (showRowAtTop)
};
