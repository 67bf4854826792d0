#pragma once

#include <QDateTime>
#include <QPixmap>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QListWidgetItem;

// A row of the conversation view. The concrete items are the text, picture and file bubbles in
// an own and an other-member variant, the date separator and the notice. Every item knows the
// list entry that holds it, so it can tell the list when its height changes.
class MtChatBaseItem : public QWidget
{
    Q_OBJECT
public:
    enum ItemType
    {
        ItemType_Date = 1,
        ItemType_Alarm = 2,
        ItemType_Chat = 0x101,
        ItemType_MyChat = 0x102,
        ItemType_ChatImage = 0x103,
        ItemType_MyChatImage = 0x104,
        ItemType_ChatFile = 0x105,
        ItemType_MyChatFile = 0x106,
    };

    explicit MtChatBaseItem(QWidget* parent = nullptr);

    QPixmap picture() const { return m_picture; }
    void setPicture(const QPixmap& picture) { m_picture = picture; }
    QString messageId() const { return m_messageId; }
    QString senderName() const { return m_senderName; }
    void setSenderName(const QString& name) { m_senderName = name; }
    QDateTime dateTime() const { return m_dateTime; }
    int senderId() const { return m_senderId; }
    void setSenderId(int senderId) { m_senderId = senderId; }
    QString content() const { return m_content; }
    QString filePath() const { return m_filePath; }
    void setFilePath(const QString& path) { m_filePath = path; }
    QString fileName() const { return m_fileName; }
    QString remoteThumbUrl() const { return m_remoteThumbUrl; }
    void setRemoteThumbUrl(const QString& url) { m_remoteThumbUrl = url; }
    QString remotePathUrl() const { return m_remotePathUrl; }
    void setRemotePathUrl(const QString& url) { m_remotePathUrl = url; }
    int contentType() const { return m_contentType; }
    QListWidgetItem* listItem() const { return m_listItem; }
    void setListItem(QListWidgetItem* item) { m_listItem = item; }
    int state() const { return m_state; }
    // What setReadCount, setProgress and setHighlight were last given (progress -1: never), so
    // that a row can make its item again as it was.
    int readCount() const { return m_readCount; }
    int progress() const { return m_progress; }
    QString highlight() const { return m_highlight; }

    // The height the item needs at its current width (fixed heights are honoured).
    QSize sizeHint() const override;

public slots:
    virtual void setDateTime(const QDateTime& dateTime);
    virtual int itemType() const = 0;
    virtual void setReadCount(int count);
    virtual void setState(int state);
    virtual void setProgress(int value);
    virtual void setHighlight(const QString& text);
    virtual void removeHighlight();
    virtual bool containsGlobalPos(const QPoint& globalPos) const;
    virtual void copyText();

signals:
    void sizeChanged();
    void fileOpened(QString filePath);
    void folderOpend(QString filePath);
    void imageOpened(QString messageId);
    void saveFile(QString messageId, bool saveAs);
    void textOpened(QString messageId);
    void resendClicked(QString messageId);

protected:
    bool event(QEvent* event) override;
    // Gives the list entry the item's current height and tells the view.
    void updateListItemSize();
    // Other members' bubbles: keeps the sender's picture and shows it round (a stand-in when
    // there is none), with the name.
    void showSender(QAbstractButton* pictureButton, QLabel* titleLabel, const QPixmap& picture,
                    const QString& name);
    // The readers of an own message are a link to their list; others' show a plain count.
    void showReadCount(QLabel* readLabel, int count, bool own);
    // Own bubbles: the transfer button sends again only what failed.
    void resendIfFailed();
    // The label's text while it is shown, else nothing.
    static QString shownText(const QLabel* label);
    // Whether a screen position lies on the widget (the hit test of the bubbles).
    static bool boxContains(const QWidget* box, const QPoint& globalPos);

    QPixmap m_picture;
    QString m_messageId;
    QString m_senderName;
    QDateTime m_dateTime;
    int m_senderId = 0;
    QString m_content;
    QString m_filePath;
    QString m_fileName;
    QString m_remoteThumbUrl;
    QString m_remotePathUrl;
    int m_contentType = 1;
    QListWidgetItem* m_listItem = nullptr;
    int m_state = 16;
    int m_readCount = 0;
    int m_progress = -1;
    QString m_highlight;
};
