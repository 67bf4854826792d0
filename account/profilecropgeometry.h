#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a picture lies under the square view of the profile picture cutter. The picture is
// scaled so that its shorter side fills the view; it can then be shifted along its longer side
// only, never so far that the view shows space before its first or past its last pixel. A
// square picture cannot move.
class ProfileCropGeometry
{
public:
    ProfileCropGeometry() = default;
    ProfileCropGeometry(const QSize& pictureSize, int viewSide);

    bool isValid() const { return m_viewSide > 0 && !m_scaled.isEmpty(); }
    int viewSide() const { return m_viewSide; }
    // The picture's size once scaled for the view.
    QSize scaledSize() const { return m_scaled; }
    // Taller than wide: dragging moves the picture vertically, else horizontally.
    bool isVertical() const { return m_vertical; }
    // Where the scaled picture's top-left corner lies in the view: 0 or negative on each axis.
    QPoint offset() const { return m_offset; }
    // Shifts the picture by a mouse movement along its longer side. A shift that would show
    // space at either end is ignored as a whole. True when the picture moved.
    bool drag(const QPoint& delta);
    // The part of the scaled picture under the view.
    QRect visibleRect() const;

private:
    QSize m_scaled;
    int m_viewSide = 0;
    bool m_vertical = false;
    QPoint m_offset;
};
