#include "widgets/mtpicture.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>

namespace {

QPixmap coverCrop(const QPixmap& picture, const QSize& pixels)
{
    const int side = qMax(pixels.width(), pixels.height());
    const QPixmap scaled = picture.width() <= picture.height()
                               ? picture.scaledToWidth(side, Qt::SmoothTransformation)
                               : picture.scaledToHeight(side, Qt::SmoothTransformation);
    const QRect crop(
        QPoint((scaled.width() - pixels.width()) / 2, (scaled.height() - pixels.height()) / 2),
        pixels);
    return scaled.copy(crop);
}

QSize devicePixels(const QSize& size, qreal ratio)
{
    return (QSizeF(size) * qMax<qreal>(ratio, 1.0)).toSize();
}

} // namespace

QPixmap mtCoverPicture(const QPixmap& picture, const QSize& size, qreal ratio)
{
    if (picture.isNull() || size.isEmpty())
        return QPixmap();
    QPixmap result = coverCrop(picture, devicePixels(size, ratio));
    result.setDevicePixelRatio(qMax<qreal>(ratio, 1.0));
    return result;
}

namespace {

QPixmap roundPicture(const QPixmap& picture, const QSize& size, qreal ratio)
{
    const QSize pixels = devicePixels(size, ratio);
    const QPixmap cropped = coverCrop(picture, pixels);
    QPixmap result(pixels);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath circle;
    circle.addEllipse(QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.setClipPath(circle);
    painter.drawPixmap(0, 0, cropped);
    painter.end();
    result.setDevicePixelRatio(qMax<qreal>(ratio, 1.0));
    return result;
}

} // namespace

QPixmap mtSharedPicture(const QPixmap& source, const QString& form,
                        const std::function<QPixmap()>& make)
{
    // A pixmap's cache key changes with every change of its pixels, so a key never names a
    // picture other than the one it was made from.
    const QString key =
        QStringLiteral("mt:") + form + QLatin1Char(':') + QString::number(source.cacheKey());
    QPixmap shared;
    if (QPixmapCache::find(key, &shared))
        return shared;
    shared = make();
    QPixmapCache::insert(key, shared);
    return shared;
}

QPixmap mtRoundPicture(const QPixmap& picture, const QSize& size, qreal ratio)
{
    if (picture.isNull() || size.isEmpty())
        return QPixmap();
    const QString form =
        QStringLiteral("round:%1x%2@%3").arg(size.width()).arg(size.height()).arg(ratio);
    return mtSharedPicture(picture, form, [&] { return roundPicture(picture, size, ratio); });
}

QPixmap mtLoadPicture(const QString& path, qreal ratio)
{
    if (ratio > 1.0) {
        const QFileInfo info(path);
        const QString doubled = info.path() + QLatin1Char('/') + info.completeBaseName() +
                                QStringLiteral("@2x.") + info.suffix();
        QPixmap sharp(doubled);
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2.0);
            return sharp;
        }
    }
    return QPixmap(path);
}

void mtBoundPictureCache()
{
    // Some hundred conversation and row pictures: the windows open at once and the room rows
    // in view, with room to spare.
    constexpr int kPictureCacheKb = 2048;
    QPixmapCache::setCacheLimit(kPictureCacheKb);
}
