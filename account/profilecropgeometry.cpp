#include "account/profilecropgeometry.h"

ProfileCropGeometry::ProfileCropGeometry(const QSize& pictureSize, int viewSide)
    : m_viewSide(viewSide)
{
    if (viewSide <= 0 || pictureSize.isEmpty())
        return;
    m_vertical = pictureSize.height() > pictureSize.width();
    // The shorter side fills the view; the longer one is rounded, never below the view.
    if (m_vertical) {
        const qint64 height = (qint64(pictureSize.height()) * viewSide + pictureSize.width() / 2) /
                              pictureSize.width();
        m_scaled = QSize(viewSide, int(qMax<qint64>(height, viewSide)));
    } else {
        const qint64 width = (qint64(pictureSize.width()) * viewSide + pictureSize.height() / 2) /
                             pictureSize.height();
        m_scaled = QSize(int(qMax<qint64>(width, viewSide)), viewSide);
    }
}

bool ProfileCropGeometry::drag(const QPoint& delta)
{
    if (!isValid())
        return false;
    QPoint next = m_offset;
    int far = 0;
    if (m_vertical) {
        next.ry() += delta.y();
        far = next.y() + m_scaled.height();
    } else {
        next.rx() += delta.x();
        far = next.x() + m_scaled.width();
    }
    const int along = m_vertical ? next.y() : next.x();
    if (next == m_offset || along > 0 || far < m_viewSide)
        return false;
    m_offset = next;
    return true;
}

QRect ProfileCropGeometry::visibleRect() const
{
    if (!isValid())
        return QRect();
    return QRect(-m_offset.x(), -m_offset.y(), m_viewSide, m_viewSide);
}
