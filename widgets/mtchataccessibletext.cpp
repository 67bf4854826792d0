#include "widgets/mtchataccessibletext.h"

#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatentry.h"
#include "widgets/mtchatitemfactory.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"
#include "widgets/mtfilesize.h"

namespace {

bool isOwn(int itemType)
{
    return itemType == MtChatBaseItem::ItemType_MyChat ||
           itemType == MtChatBaseItem::ItemType_MyChatImage ||
           itemType == MtChatBaseItem::ItemType_MyChatFile;
}

bool isAttachment(int itemType)
{
    return itemType == MtChatBaseItem::ItemType_ChatImage ||
           itemType == MtChatBaseItem::ItemType_MyChatImage ||
           itemType == MtChatBaseItem::ItemType_ChatFile ||
           itemType == MtChatBaseItem::ItemType_MyChatFile;
}

} // namespace

QString MtChatAccessibleText::answer(const MtChatEntry& entry)
{
    MtChatEntryData data = entry.data();
    // A live item may have moved on (read count, state) since the row's data was taken.
    if (const MtChatBaseItem* item = entry.widget())
        MtChatItemFactory::readBack(item, data);
    return name(data);
}

QString MtChatAccessibleText::name(const MtChatEntryData& data, const QLocale& locale)
{
    switch (data.itemType) {
    case MtChatBaseItem::ItemType_Date:
        return MtChatText::dateText(data.time.date(), locale).trimmed();
    case MtChatBaseItem::ItemType_Alarm:
        return data.text;
    default:
        break;
    }
    const bool own = isOwn(data.itemType);
    QString what;
    switch (data.itemType) {
    case MtChatBaseItem::ItemType_ChatImage:
    case MtChatBaseItem::ItemType_MyChatImage:
        what = data.contentType == 3 ? tr("Video") : tr("Picture");
        break;
    case MtChatBaseItem::ItemType_ChatFile:
    case MtChatBaseItem::ItemType_MyChatFile:
        what = tr("File %1, %2", "file name, file size")
                   .arg(data.fileName, mtFileSizeText(data.fileSize));
        break;
    default:
        what = data.text;
        break;
    }
    QString said =
        tr("%1, %2: %3", "sender, time: message")
            .arg(own ? tr("You", "the sender of the user's own messages") : data.senderName,
                 MtChatText::timeText(data.time.time(), locale), what);
    // An unsettled message says how far it got (sending, or the download of an attachment); a
    // settled one how many have read it.
    QString state;
    if (own)
        state = MtChatItemState::ownAttachment(data.state).progressText;
    else if (isAttachment(data.itemType))
        state = MtChatItemState::otherAttachment(data.state).progressText;
    const QString after = state.isEmpty() ? MtChatText::readCountText(data.readCount) : state;
    if (after.isEmpty())
        return said;
    return tr("%1, %2", "what a message row says, then its read count or sending state")
        .arg(said, after);
}
