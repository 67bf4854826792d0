#pragma once

#include <QDateTime>
#include <QListWidgetItem>
#include <QPixmap>
#include <QPointer>
#include <QString>

class MtChatBaseItem;

// Everything a conversation row needs to make its item again: what was added, and what the
// window changed on it since (state, read count, progress, highlight, file path).
struct MtChatEntryData
{
    int itemType = 0;
    QString messageId;
    QPixmap picture;
    QString senderName;
    int senderId = 0;
    QDateTime time;
    QString text; // the message, or the notice
    int contentType = 1;
    QString filePath;
    QString fileName;
    qint64 fileSize = 0;
    QPixmap image;
    int width = 0;
    int height = 0;
    int readCount = 0;
    int state = 16;
    int progress = -1; // never set
    QString highlight;
    QString remoteThumbUrl;
    QString remotePathUrl;
};

// A row of the conversation view. It keeps the row's data and its height; only rows near the
// viewport carry an item widget, and the data is the row's truth whenever none is attached.
class MtChatEntry : public QListWidgetItem
{
public:
    static constexpr int kType = QListWidgetItem::UserType + 2;

    explicit MtChatEntry(const MtChatEntryData& data);

    const MtChatEntryData& data() const { return m_data; }
    MtChatEntryData& data() { return m_data; }
    MtChatBaseItem* widget() const;
    void setWidget(MtChatBaseItem* widget);

    // The values a live item may have changed since it was made.
    int state() const;
    QDateTime time() const;
    QString messageId() const;
    bool isDate() const;

    // A pinned row keeps its item wherever it is (a notice the window keeps a pointer to).
    bool isPinned() const { return m_pinned; }
    void setPinned(bool pinned) { m_pinned = pinned; }

    // The view width the height was measured at; -1 when the height holds at any width.
    int measuredWidth() const { return m_measuredWidth; }
    void setHeight(int height, int measuredWidth);

    // The list asks every row for its size at each layout: answered without a search.
    QVariant data(int role) const override;
    void setData(int role, const QVariant& value) override;

private:
    MtChatEntryData m_data;
    // Held as a QObject so that this header compiles without the item's.
    QPointer<QObject> m_widget;
    int m_measuredWidth = 0;
    bool m_pinned = false;
    QSize m_size;
};
