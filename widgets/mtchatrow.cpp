#include "widgets/mtchatrow.h"

#include "store/dbchat.h"
#include "store/dbtypes.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatitemstate.h"

MtChatRow MtChatRow::fromChat(const DBChat& chat, bool own)
{
    MtChatRow row;
    row.own = own;
    row.messageId = chat.msgId();
    row.senderName = chat.senderName();
    row.senderId = int(chat.senderId());
    row.time = QDateTime::fromMSecsSinceEpoch(chat.msgTime());
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
