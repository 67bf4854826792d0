#include "account/profileimageview.h"

#include <QMouseEvent>
#include <QPainter>

ProfileImageView::ProfileImageView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("profileImageView"));
}

bool ProfileImageView::setPicture(const QPixmap& picture)
{
    m_picture = picture;
    rescale();
    return !m_picture.isNull();
}

QPixmap ProfileImageView::selectedPicture() const
{
    if (!m_geometry.isValid() || m_scaled.isNull())
        return QPixmap();
    return m_scaled.copy(m_geometry.visibleRect());
}

void ProfileImageView::rescale()
{
    m_dragging = false;
    if (m_picture.isNull() || width() <= 0) {
        m_geometry = ProfileCropGeometry();
        m_scaled = QPixmap();
        update();
        return;
    }
    m_geometry = ProfileCropGeometry(m_picture.size(), width());
    m_scaled =
        m_picture.scaled(m_geometry.scaledSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    update();
}

void ProfileImageView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!m_scaled.isNull())
        painter.drawPixmap(m_geometry.offset(), m_scaled);
}

void ProfileImageView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    rescale();
}

void ProfileImageView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    m_lastPos = event->pos();
}

void ProfileImageView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return QWidget::mouseMoveEvent(event);
    if (m_geometry.drag(event->pos() - m_lastPos))
        update();
    m_lastPos = event->pos();
}

void ProfileImageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}
