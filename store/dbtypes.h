#pragma once

// Values stored in the columns of the store, and the in-memory state of records during a room
// synchronisation.

// TTT_CHATT_ROOM.type
enum RoomType
{
    RoomTypeGroup = 10, // room of an organisation group; members holds the group id
    RoomType1VS1 = 20,
    RoomType1VSN = 30,
    RoomTypeLeave = 40, // one-to-one room whose other member has left
};

// TTT_CHATT.msg_type: the kind of protocol message that produced the row
enum MsgType
{
    MsgTypeChat = 1,
    MsgTypeInvite = 3,
    MsgTypeAdmission = 4,
    MsgTypeLeave = 5,
};

// TTT_CHATT.content_type
enum ContentType
{
    ContentTypeText = 1,
    ContentTypeImage = 2,
    ContentTypeVideo = 3,
    ContentTypeFile = 4,
};

// TTT_CHATT.msg_state of the user's own outgoing messages. Only MsgStateConfirmed means
// anything to the store itself (history order, read receipts).
enum MsgState
{
    MsgStateNew = 0,       // new, or sent and not yet confirmed
    MsgStateConfirmed = 1, // came back from the server
    MsgStateUploading = 3,
    MsgStateUploaded = 4,
    MsgStateUploadFailed = 5,
};

// TTT_USER.user_state
enum UserState
{
    UserStateDeleted = 0,
    UserStateActive = 1,
};

// Content::dataState(), in memory only
enum DataState
{
    DataStateNone = 0,
    DataStateInsert = 1,
    DataStateUpdate = 2,
    DataStateDelete = 3,
};
