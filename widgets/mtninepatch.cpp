#include "widgets/mtninepatch.h"

#include "widgets/mtpicture.h"

#include <QDebug>
#include <QPainter>
#include <QtMath>

namespace {

bool isMark(QRgb pixel)
{
    return qAlpha(pixel) == 255 && qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0;
}

// The first and one past the last marked pixel along an edge, in body coordinates.
bool markedRange(const QImage& image, bool horizontal, int line, int* from, int* to)
{
    const int length = horizontal ? image.width() : image.height();
    int first = -1;
    int last = -1;
    for (int i = 1; i < length - 1; ++i) {
        const QRgb pixel = horizontal ? image.pixel(i, line) : image.pixel(line, i);
        if (isMark(pixel)) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return false;
    *from = first - 1;
    *to = last;
    return true;
}

} // namespace

MtNinePatch::MtNinePatch(const QString& path, qreal ratio)
{
    const QPixmap loaded = mtLoadPicture(path, ratio);
    m_ratio = loaded.devicePixelRatio();
    if (!parse(loaded.toImage().convertToFormat(QImage::Format_ARGB32)))
        qWarning().noquote().nospace() << "MtNinePatch::MtNinePatch invalid nine-patch:" << path;
}

bool MtNinePatch::parse(const QImage& image)
{
    if (image.width() < 3 || image.height() < 3)
        return false;
    int cx0 = 0;
    int cx1 = 0;
    int cy0 = 0;
    int cy1 = 0;
    const int w = image.width() - 2;
    const int h = image.height() - 2;
    if (!markedRange(image, true, 0, &m_x0, &m_x1) || !markedRange(image, false, 0, &m_y0, &m_y1))
        return false;
    // Without content marks the content is the whole body.
    if (!markedRange(image, true, image.height() - 1, &cx0, &cx1)) {
        cx0 = 0;
        cx1 = w;
    }
    if (!markedRange(image, false, image.width() - 1, &cy0, &cy1)) {
        cy0 = 0;
        cy1 = h;
    }
    m_padding = QMargins(cx0, cy0, w - cx1, h - cy1);
    QImage body = image.copy(1, 1, w, h);
    m_body = QPixmap::fromImage(body);
    return true;
}

QMargins MtNinePatch::padding() const
{
    return QMargins(qRound(m_padding.left() / m_ratio), qRound(m_padding.top() / m_ratio),
                    qRound(m_padding.right() / m_ratio), qRound(m_padding.bottom() / m_ratio));
}

QSize MtNinePatch::minimumSize() const
{
    if (isNull())
        return QSize();
    const int fixedW = m_body.width() - (m_x1 - m_x0);
    const int fixedH = m_body.height() - (m_y1 - m_y0);
    return QSize(qCeil(fixedW / m_ratio), qCeil(fixedH / m_ratio));
}

void MtNinePatch::draw(QPainter* painter, const QRect& target) const
{
    if (isNull() || target.isEmpty())
        return;
    const qreal r = m_ratio;
    const int W = m_body.width();
    const int H = m_body.height();
    // Source columns and rows in picture pixels.
    const qreal sx[4] = {0, qreal(m_x0), qreal(m_x1), qreal(W)};
    const qreal sy[4] = {0, qreal(m_y0), qreal(m_y1), qreal(H)};
    // Target columns and rows: the fixed parts keep their size, shrunk only when the target is
    // smaller than they are.
    const qreal fixedW = (W - (m_x1 - m_x0)) / r;
    const qreal fixedH = (H - (m_y1 - m_y0)) / r;
    const qreal scaleX = fixedW > target.width() ? target.width() / fixedW : 1.0;
    const qreal scaleY = fixedH > target.height() ? target.height() / fixedH : 1.0;
    const qreal left = m_x0 / r * scaleX;
    const qreal right = (W - m_x1) / r * scaleX;
    const qreal top = m_y0 / r * scaleY;
    const qreal bottom = (H - m_y1) / r * scaleY;
    const qreal tx[4] = {qreal(target.left()), target.left() + left,
                         target.left() + target.width() - right,
                         qreal(target.left() + target.width())};
    const qreal ty[4] = {qreal(target.top()), target.top() + top,
                         target.top() + target.height() - bottom,
                         qreal(target.top() + target.height())};
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF source(QPointF(sx[col], sy[row]), QPointF(sx[col + 1], sy[row + 1]));
            const QRectF dest(QPointF(tx[col], ty[row]), QPointF(tx[col + 1], ty[row + 1]));
            if (source.isEmpty() || dest.isEmpty())
                continue;
            painter->drawPixmap(dest, m_body, source);
        }
    }
    painter->restore();
}
