#include "widgets/mtimagezoom.h"

#include <QtMath>

double MtImageZoom::tenths(double factor)
{
    // The small epsilon keeps 0.3 - 0.1 (0.19999...) from falling to 0.1.
    return qFloor(factor * 10.0 + 1e-9) / 10.0;
}

double MtImageZoom::zoomIn()
{
    m_factor = tenths(m_factor) + kStep;
    return m_factor;
}

double MtImageZoom::zoomOut()
{
    const double next = tenths(m_factor) - kStep;
    const QSize size = (QSizeF(m_picture) * next).toSize();
    if (next <= 0.0 || !(size.width() > m_view.width() && size.height() > m_view.height()))
        return fit();
    m_factor = next;
    return m_factor;
}

double MtImageZoom::fit()
{
    if (m_picture.isEmpty() || m_view.isEmpty())
        return m_factor;
    m_factor = qMin(double(m_view.height()) / m_picture.height(),
                    double(m_view.width()) / m_picture.width());
    return m_factor;
}

double MtImageZoom::initial()
{
    m_factor = 1.0;
    if (m_picture.width() > m_view.width() || m_picture.height() > m_view.height())
        fit();
    return m_factor;
}

QSize MtImageZoom::scaledSize() const
{
    return (QSizeF(m_picture) * m_factor).toSize();
}

bool MtImageZoom::canZoomOut() const
{
    const QSize size = scaledSize();
    return size.width() > m_view.width() || size.height() > m_view.height();
}

bool MtImageZoom::canZoomIn() const
{
    return scaledSize().width() < kMaxTimesPicture * m_picture.width();
}
