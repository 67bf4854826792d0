#pragma once

#include <QDate>
#include <QListWidget>
#include <QPixmap>
#include <QTimer>

class DBChat;
class MtChatAlarmItem;
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
    MtChatAlarmItem* addAlarmMessage(const QString& messageId, const QString& text,
                                     const QDateTime& dateTime, bool insertFirst);

    // A stored chat as the item its row calls for (MtChatRow): `picture` is the sender's,
    // `image` the thumbnail of a picture or video. Null when the chat shows nothing.
    MtChatBaseItem* addChat(const DBChat& chat, bool own, const QPixmap& picture,
                            const QPixmap& image, bool insertFirst);

    // The item of a message, searched from the newest row up; null when none.
    MtChatBaseItem* findItem(const QString& messageId) const;
    MtChatBaseItem* chatItem(int row) const;
    // True with fewer than two rows, or when the upper third of the last row is in view.
    bool isScrolledToBottom() const;
    void showNewMessage(const QString& text);

    QDate bottomDate() const { return m_bottomDate; }
    QDate topDate() const { return m_topDate; }
    int dateItemCount() const { return m_dateItemCount; }
    QPushButton* newMessageButton() const { return m_newMessageButton; }

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void addDateItem(const QDateTime& dateTime, bool atTop);
    void connectItem(MtChatBaseItem* item);
    void watchMessageBox(QWidget* messageBox);
    void itemSizeChanged();
    void relayout();
    void placeNewMessageButton();
    void refillNewMessageButton();
    void clearTextSelections(QWidget* except);

    QDate m_bottomDate;
    QDate m_topDate;
    int m_dateItemCount = 0;
    QPushButton* m_newMessageButton;
    QTimer m_relayoutTimer;
    bool m_stickToBottom = false;
};
