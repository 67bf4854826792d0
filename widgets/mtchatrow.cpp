#include "widgets/mtchatrow.h"

#include "store/dbchat.h"
#include "store/dbtypes.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatitemstate.h"

#include <QTimeZone>

#include <limits>

namespace {

// The local offset of the last converted time and the span it holds for. A local-time
// QDateTime asks the C library for every conversion and every later comparison, and with TZ
// unset the library looks at the zone file each time: a room's rows mostly share one offset,
// so one look-up per daylight-saving span is enough. The span comes from the zone's
// transitions and is trusted only where the zone agrees with the C library at the converted
// time and at the span's start; otherwise it holds for that one instant only.
struct LocalOffsetCache
{
    qint64 from = 1;
    qint64 until = 0; // exclusive; from > until: nothing cached
    int offset = 0;

    int offsetAt(qint64 msecs)
    {
        if (msecs >= from && msecs < until)
            return offset;
        offset = QDateTime::fromMSecsSinceEpoch(msecs).offsetFromUtc();
        from = msecs;
        until = msecs + 1;
        const QTimeZone zone = QTimeZone::systemTimeZone();
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
        if (!zone.isValid() || zone.offsetFromUtc(at) != offset)
            return offset;
        // The last transition at or before the time, and the first after it.
        const QTimeZone::OffsetData previous = zone.previousTransition(at.addMSecs(1));
        const QTimeZone::OffsetData next = zone.nextTransition(at);
        if (previous.atUtc.isValid() && previous.offsetFromUtc != offset)
            return offset;
        from = previous.atUtc.isValid() ? previous.atUtc.toMSecsSinceEpoch()
                                        : std::numeric_limits<qint64>::min();
        until = next.atUtc.isValid() ? next.atUtc.toMSecsSinceEpoch()
                                     : std::numeric_limits<qint64>::max();
        return offset;
    }
};

// The wall-clock time of the user's zone at an instant: the date, time and offset of
// QDateTime::toLocalTime(), held as a fixed offset so that later reads and comparisons need no
// zone look-up either.
QDateTime localTime(qint64 msecs)
{
    thread_local LocalOffsetCache cache;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, cache.offsetAt(msecs));
}

} // namespace

MtChatRow MtChatRow::fromChat(const DBChat& chat, bool own)
{
    MtChatRow row;
    row.own = own;
    row.messageId = chat.msgId();
    row.senderName = chat.senderName();
    row.senderId = int(chat.senderId());
    row.time = localTime(chat.msgTime());
    row.contentType = chat.contentType();
    row.filePath = chat.filePath();
    row.fileName = chat.fileName();
    row.readCount = chat.count();
    row.state =
        own ? MtChatItemState::fromMsgState(chat.msgState()) : int(MtChatItemState::Settled);

    const int msgType = chat.msgType();
    if (msgType == MsgTypeInvite || msgType == MsgTypeAdmission || msgType == MsgTypeLeave) {
        row.kind = Notice;
        row.itemType = MtChatBaseItem::ItemType_Alarm;
        row.state = MtChatItemState::Settled;
        row.text = chat.toContentText();
        // A leave notice has no message of its own to be found by.
        if (msgType == MsgTypeLeave)
            row.messageId.clear();
        return row;
    }

    switch (chat.contentType()) {
    case ContentTypeText:
        row.kind = Text;
        row.text = chat.content();
        break;
    case ContentTypeImage:
    case ContentTypeVideo:
        row.kind = Image;
        row.width = chat.width();
        row.height = chat.height();
        break;
    case ContentTypeFile:
        if (chat.previewText().isEmpty()) {
            row.kind = File;
            row.fileSize = chat.fileSize();
        } else {
            row.kind = Text;
            row.text = chat.previewText();
        }
        break;
    default:
        return row;
    }
    switch (row.kind) {
    case Text:
        row.itemType = own ? MtChatBaseItem::ItemType_MyChat : MtChatBaseItem::ItemType_Chat;
        break;
    case Image:
        row.itemType =
            own ? MtChatBaseItem::ItemType_MyChatImage : MtChatBaseItem::ItemType_ChatImage;
        break;
    case File:
        row.itemType =
            own ? MtChatBaseItem::ItemType_MyChatFile : MtChatBaseItem::ItemType_ChatFile;
        break;
    default:
        break;
    }
    return row;
}
