#pragma once

#include <QList>
#include <QPixmap>
#include <QSize>
#include <QStringList>

#include <functional>

class DBChatRoom;
class DBManager;

// The picture of a room: up to four pictures of its members (or the group's picture) in one
// circle. The room list and the chat window both show it, so both take it from here.

// Where the pictures of a room come from: the picture URLs to ask the server for, and per
// picture the URL it shows (empty for the default picture).
struct MtRoomPictureSources
{
    static constexpr int kMaxPictures = 4;
    QStringList urls;

    bool operator==(const MtRoomPictureSources& other) const { return urls == other.urls; }
};

// A group room (type 10) shows the group's picture; any other room the first four members other
// than `ownUserId` that the directory knows, each by its thumbnail URL (empty when it has none).
// Members missing from the directory are left out; nothing known gives no source.
MtRoomPictureSources mtRoomPictureSources(DBManager& db, const DBChatRoom& room, qint64 ownUserId);

// The room picture of `sources` as they stand, composed by mtPictureMosaic(): each URL's local
// file (`localFile` maps a URL to the file, empty when there is none yet) when it loads,
// otherwise the default profile picture; no source at all gives the default picture once.
// `whole`, when given, tells whether every URL had its file. `load`, when given, reads a file's
// picture (null when it cannot); otherwise the file is read here.
QPixmap mtRoomMosaic(const MtRoomPictureSources& sources,
                     const std::function<QString(const QString&)>& localFile, const QSize& size,
                     qreal ratio = 1.0, bool* whole = nullptr,
                     const std::function<QPixmap(const QString&)>& load = nullptr);

// Composes up to four pictures into one of `size`, clipped to the inscribed ellipse: one fills
// the circle, two are halves side by side, three are two quarters above a half, four are
// quarters. Each picture is scaled so that its shorter side equals the longer side of its tile
// and cropped around its centre. Pictures beyond the fourth are ignored; none gives a null
// picture.
QPixmap mtPictureMosaic(const QList<QPixmap>& pictures, const QSize& size, qreal ratio = 1.0);
