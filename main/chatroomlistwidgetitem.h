#pragma once

#include "main/chatroomrowtext.h"
#include "widgets/mtroompicture.h"

#include <QListWidgetItem>
#include <QPixmap>

// One row of the room list. It holds the row's state and its composed picture; its Qt::UserRole
// data is the time of the row's newest activity in ms, and rows order by it.
class ChatRoomListWidgetItem : public QListWidgetItem
{
public:
    static constexpr int kItemType = QListWidgetItem::UserType + 1;

    explicit ChatRoomListWidgetItem(const ChatRoomRowState& state);

    const ChatRoomRowState& state() const { return m_state; }
    ChatRoomRowState& state() { return m_state; }
    QString topic() const { return m_state.room.topic(); }

    // The newest activity in ms, as stored in Qt::UserRole.
    qint64 time() const;
    // Stores the state's shown time in Qt::UserRole.
    void refreshTime();

    // Signed comparison of the Qt::UserRole times; equal times are not less.
    bool operator<(const QListWidgetItem& other) const override;
    // Qt::AccessibleTextRole: what the row's widget shows, for a screen reader (the item itself
    // holds no text).
    QVariant data(int role) const override;

    // The picture's sources, looked up once per row until the room or the directory changes.
    bool hasPictureSources() const { return m_hasSources; }
    const MtRoomPictureSources& pictureSources() const { return m_sources; }
    void setPictureSources(const MtRoomPictureSources& sources);
    // The composed picture, null until composed or after a source changed; `whole` when every
    // source was in the cache (no default picture stands in for one still to come).
    QPixmap picture() const { return m_picture; }
    bool isPictureWhole() const { return !m_picture.isNull() && m_pictureWhole; }
    void setPicture(const QPixmap& picture, bool whole)
    {
        m_picture = picture;
        m_pictureWhole = whole;
    }
    void forgetPicture(bool sourcesToo);

private:
    ChatRoomRowState m_state;
    MtRoomPictureSources m_sources;
    bool m_hasSources = false;
    QPixmap m_picture;
    bool m_pictureWhole = false;
};
