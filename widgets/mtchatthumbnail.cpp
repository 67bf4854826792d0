#include "widgets/mtchatthumbnail.h"

#include "widgets/mtpicture.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr qreal kRadius = 6.0;
const QSize kPlaceholder(160, 120);
} // namespace

namespace {
QPixmap thumbnail(const QPixmap& picture, const QSize& base, int width, int height, bool video,
                  qreal ratio)
{
    QSizeF logical = picture.isNull()
                         ? QSizeF(width > 0 && height > 0 ? QSize(width, height) : kPlaceholder)
                         : QSizeF(picture.size()) / picture.devicePixelRatio();
    if (logical.width() > base.width() || logical.height() > base.height())
        logical.scale(QSizeF(base), Qt::KeepAspectRatio);
    const QSize size = logical.toSize().expandedTo(QSize(24, 24));

    QPixmap result(size * ratio);
    result.setDevicePixelRatio(ratio);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF frame(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    QPainterPath path;
    path.addRoundedRect(frame, kRadius, kRadius);
    painter.save();
    painter.setClipPath(path);
    if (picture.isNull())
        painter.fillRect(frame, QColor(0xcf, 0xd8, 0xdf));
    else
        painter.drawPixmap(QRectF(QPointF(0, 0), QSizeF(size)), picture, QRectF(picture.rect()));
    painter.restore();
    painter.setPen(QPen(QColor(0, 0, 0, 40), 1.0));
    painter.drawPath(path);
    if (video) {
        const QPointF centre = frame.center();
        const qreal r = qMin<qreal>(20.0, qMin(size.width(), size.height()) / 3.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 120));
        painter.drawEllipse(centre, r, r);
        QPolygonF play;
        play << centre + QPointF(-r * 0.35, -r * 0.5) << centre + QPointF(r * 0.55, 0)
             << centre + QPointF(-r * 0.35, r * 0.5);
        painter.setBrush(Qt::white);
        painter.drawPolygon(play);
    }
    painter.end();
    return result;
}
} // namespace

QPixmap mtChatThumbnail(const QPixmap& picture, const QSize& base, int width, int height,
                        bool video, qreal ratio)
{
    ratio = qMax<qreal>(ratio, 1.0);
    // The placeholder's proportions count only while there is no picture.
    const QSize placeholder = picture.isNull() ? QSize(width, height) : QSize();
    return mtSharedPicture(picture,
                           QStringLiteral("thumbnail:%1x%2:%3x%4:%5@%6")
                               .arg(base.width())
                               .arg(base.height())
                               .arg(placeholder.width())
                               .arg(placeholder.height())
                               .arg(video)
                               .arg(ratio),
                           [&] { return thumbnail(picture, base, width, height, video, ratio); });
}
