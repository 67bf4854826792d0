#include "widgets/mtchatitemfactory.h"

#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatdateitem.h"
#include "widgets/mtchatentry.h"
#include "widgets/mtchatfileitem.h"
#include "widgets/mtchatimageitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtmychatfileitem.h"
#include "widgets/mtmychatimageitem.h"
#include "widgets/mtmychatitem.h"

#include <QCoreApplication>
#include <QLayout>

MtChatBaseItem* MtChatItemFactory::create(int itemType, QWidget* parent)
{
    switch (itemType) {
    case MtChatBaseItem::ItemType_Chat:
        return new MtChatItem(parent);
    case MtChatBaseItem::ItemType_MyChat:
        return new MtMyChatItem(parent);
    case MtChatBaseItem::ItemType_ChatImage:
        return new MtChatImageItem(parent);
    case MtChatBaseItem::ItemType_MyChatImage:
        return new MtMyChatImageItem(parent);
    case MtChatBaseItem::ItemType_ChatFile:
        return new MtChatFileItem(parent);
    case MtChatBaseItem::ItemType_MyChatFile:
        return new MtMyChatFileItem(parent);
    case MtChatBaseItem::ItemType_Alarm:
        return new MtChatAlarmItem(parent);
    case MtChatBaseItem::ItemType_Date:
        return new MtChatDateItem(parent);
    default:
        return nullptr;
    }
}

void MtChatItemFactory::fill(MtChatBaseItem* item, const MtChatEntryData& d)
{
    if (auto* chat = qobject_cast<MtChatItem*>(item)) {
        chat->setChat(d.messageId, d.picture, d.senderName, d.senderId, d.time, d.text,
                      d.contentType, d.state);
    } else if (auto* mine = qobject_cast<MtMyChatItem*>(item)) {
        mine->setPicture(d.picture);
        mine->setChat(d.messageId, d.senderName, d.senderId, d.time, d.text, d.contentType,
                      d.state);
    } else if (auto* image = qobject_cast<MtChatImageItem*>(item)) {
        image->setChat(d.messageId, d.picture, d.senderName, d.senderId, d.time, d.filePath,
                       d.fileName, d.image, d.width, d.height, d.contentType, d.state);
    } else if (auto* myImage = qobject_cast<MtMyChatImageItem*>(item)) {
        myImage->setPicture(d.picture);
        myImage->setChat(d.messageId, d.senderName, d.senderId, d.time, d.filePath, d.fileName,
                         d.image, d.width, d.height, d.contentType, d.state);
    } else if (auto* file = qobject_cast<MtChatFileItem*>(item)) {
        file->setChat(d.messageId, d.picture, d.senderName, d.senderId, d.time, d.filePath,
                      d.fileName, d.fileSize, d.state);
    } else if (auto* myFile = qobject_cast<MtMyChatFileItem*>(item)) {
        myFile->setPicture(d.picture);
        myFile->setChat(d.messageId, d.senderName, d.senderId, d.time, d.filePath, d.fileName,
                        d.fileSize, d.state);
    } else if (auto* alarm = qobject_cast<MtChatAlarmItem*>(item)) {
        alarm->setAlarm(d.messageId, d.time, d.text);
    } else if (auto* date = qobject_cast<MtChatDateItem*>(item)) {
        date->setDateTime(d.time);
        date->refreshText();
        return;
    }
    item->setReadCount(d.readCount);
    if (d.progress >= 0)
        item->setProgress(d.progress);
    if (!d.highlight.isEmpty())
        item->setHighlight(d.highlight);
    item->setRemoteThumbUrl(d.remoteThumbUrl);
    item->setRemotePathUrl(d.remotePathUrl);
}

void MtChatItemFactory::readBack(const MtChatBaseItem* item, MtChatEntryData& d)
{
    d.messageId = item->messageId();
    d.time = item->dateTime();
    d.state = item->state();
    if (item->itemType() == MtChatBaseItem::ItemType_Date)
        return;
    d.picture = item->picture();
    d.senderName = item->senderName();
    d.senderId = item->senderId();
    d.text = item->content();
    d.contentType = item->contentType();
    d.filePath = item->filePath();
    d.fileName = item->fileName();
    d.remoteThumbUrl = item->remoteThumbUrl();
    d.remotePathUrl = item->remotePathUrl();
    d.readCount = item->readCount();
    d.progress = item->progress();
    d.highlight = item->highlight();
    if (auto* image = qobject_cast<const MtChatImageItem*>(item))
        d.image = image->image();
    else if (auto* myImage = qobject_cast<const MtMyChatImageItem*>(item))
        d.image = myImage->image();
}

bool MtChatItemFactory::widthDependent(int itemType)
{
    return itemType == MtChatBaseItem::ItemType_Chat ||
           itemType == MtChatBaseItem::ItemType_MyChat ||
           itemType == MtChatBaseItem::ItemType_Alarm;
}

int MtChatItemFactory::measure(MtChatBaseItem* item, int width)
{
    if (item->width() != width)
        item->resize(width, qMax(1, item->height()));
    auto* text = qobject_cast<MtChatTextItem*>(item);
    // Filling and wrapping change fixed heights that the layout then passes on; two rounds
    // settle a text that wraps.
    for (int round = 0; round < 2; ++round) {
        // Children shown or hidden by the filling ask for a layout through posted events.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (QLayout* layout = item->layout())
            layout->activate();
        if (text)
            text->fitToWidth();
    }
    if (QLayout* layout = item->layout())
        layout->activate();
    return item->sizeHint().height();
}
