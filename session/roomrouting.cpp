#include "session/roomrouting.h"

#include "messaging/mqttmanager.h"
#include "store/dbtypes.h"

QString RoomRouting::Action::toString() const
{
    return QStringLiteral("windowRoom=%1 windowNotice=%2 listUpsert=%3 listRemove=%4 "
                          "listLastMessage=%5 closeWindow=%6 dropPresence=%7")
        .arg(windowRoom)
        .arg(windowNotice)
        .arg(listUpsert)
        .arg(listRemove)
        .arg(listLastMessage)
        .arg(closeWindow)
        .arg(dropPresence);
}

RoomRouting::Action RoomRouting::route(int itemType, int dataState, int roomType, qint64 noticeId)
{
    using Item = MqttManager::MessageItem;
    Action a;
    const bool withNotice = roomType == RoomType1VSN && noticeId > 0;
    if (itemType == Item::Invite || itemType == Item::Admission) {
        if (dataState == DataStateUpdate && roomType != RoomType1VSN) {
            a.windowRoom = true;
            return a;
        }
        a.listUpsert = true;
        a.windowRoom = true;
        a.windowNotice = withNotice;
        a.listLastMessage = withNotice;
        return a;
    }
    if (itemType != Item::Leave)
        return a;
    a.dropPresence = true;
    if (dataState == DataStateDelete) {
        a.listRemove = true;
        a.closeWindow = true;
        return a;
    }
    switch (roomType) {
    case RoomType1VS1:
    case RoomTypeLeave:
        a.listUpsert = true;
        a.windowRoom = true;
        break;
    case RoomType1VSN:
        a.listUpsert = true;
        a.windowRoom = withNotice;
        a.windowNotice = withNotice;
        a.listLastMessage = withNotice;
        break;
    default:
        break;
    }
    return a;
}
