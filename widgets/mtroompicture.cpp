#include "widgets/mtroompicture.h"

#include "store/dbchatroom.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "widgets/mtpicture.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>

namespace {

const QString& defaultPicture()
{
    static const QString path = QStringLiteral(":/images/profile.png");
    return path;
}

// Scaled so that the shorter side equals the tile's longer side, then cropped around the centre:
// a portrait picture in a half tile shows its middle, not a thin strip of its whole height.
QPixmap tileCrop(const QPixmap& picture, const QSize& tile)
{
    const int side = qMax(tile.width(), tile.height());
    const QPixmap scaled = picture.width() <= picture.height()
                               ? picture.scaledToWidth(side, Qt::SmoothTransformation)
                               : picture.scaledToHeight(side, Qt::SmoothTransformation);
    return scaled.copy(QRect(
        QPoint((scaled.width() - tile.width()) / 2, (scaled.height() - tile.height()) / 2), tile));
}

} // namespace

MtRoomPictureSources mtRoomPictureSources(DBManager& db, const DBChatRoom& room, qint64 ownUserId)
{
    MtRoomPictureSources sources;
    const QStringList parts = room.members().split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (room.type() == RoomTypeGroup) {
        DBGroup group;
        if (!parts.isEmpty() && db.findGroup(parts.first().trimmed().toLongLong(), group))
            sources.urls.append(group.thumbUrl().isEmpty() ? group.imageUrl() : group.thumbUrl());
        return sources;
    }
    for (const QString& part : parts) {
        bool ok = false;
        const qint64 userId = part.trimmed().toLongLong(&ok);
        if (!ok || userId == ownUserId)
            continue;
        DBUser user;
        if (!db.findUser(userId, user))
            continue;
        sources.urls.append(user.thumbUrl());
        if (sources.urls.size() == MtRoomPictureSources::kMaxPictures)
            break;
    }
    return sources;
}

QPixmap mtRoomMosaic(const MtRoomPictureSources& sources,
                     const std::function<QString(const QString&)>& localFile, const QSize& size,
                     qreal ratio, bool* whole, const std::function<QPixmap(const QString&)>& load)
{
    QStringList files;
    bool all = true;
    bool none = true;
    for (const QString& url : sources.urls) {
        const QString file = url.isEmpty() ? QString() : localFile(url);
        all = all && (url.isEmpty() || !file.isEmpty());
        none = none && file.isEmpty();
        files << file;
    }
    if (whole)
        *whole = all;
    // Until their pictures come, rooms of as many members show the same default mosaic: it is
    // composed once, not for every row (a list's first rows are made before any picture is in).
    const int tiles = qBound(1, int(files.size()), MtRoomPictureSources::kMaxPictures);
    const QString key = QStringLiteral("mt-room-default-%1-%2x%3-%4")
                            .arg(tiles)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ratio);
    QPixmap mosaic;
    if (none && QPixmapCache::find(key, &mosaic))
        return mosaic;
    QList<QPixmap> pictures;
    for (const QString& file : qAsConst(files)) {
        const QPixmap picture = file.isEmpty() ? QPixmap() : load ? load(file) : QPixmap(file);
        pictures.append(picture.isNull() ? mtLoadPicture(defaultPicture(), ratio) : picture);
    }
    if (pictures.isEmpty())
        pictures.append(mtLoadPicture(defaultPicture(), ratio));
    mosaic = mtPictureMosaic(pictures, size, ratio);
    if (none)
        QPixmapCache::insert(key, mosaic);
    return mosaic;
}

QPixmap mtPictureMosaic(const QList<QPixmap>& pictures, const QSize& size, qreal ratio)
{
    const int n = qMin(int(pictures.size()), MtRoomPictureSources::kMaxPictures);
    if (n == 0 || size.isEmpty())
        return QPixmap();
    const qreal scale = qMax<qreal>(ratio, 1.0);
    const QSize pixels = (QSizeF(size) * scale).toSize();
    QPixmap canvas(pixels);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath circle;
    circle.addEllipse(QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.setClipPath(circle);
    const int rows = n < 3 ? 1 : 2;
    for (int i = 0; i < n; ++i) {
        const int columns = ((n >= 2 && i < 2) || n >= 4) ? 2 : 1;
        const QSize tile(pixels.width() / columns, pixels.height() / rows);
        if (pictures.at(i).isNull() || tile.isEmpty())
            continue;
        const QPoint at((i % 2) * tile.width(), i < 2 ? 0 : tile.height());
        painter.drawPixmap(at, tileCrop(pictures.at(i), tile));
    }
    painter.end();
    canvas.setDevicePixelRatio(scale);
    return canvas;
}
