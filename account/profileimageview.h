#pragma once

#include "account/profilecropgeometry.h"

#include <QPixmap>
#include <QWidget>

// The square in which the user places a picture to cut the profile picture from: the picture
// fills the square by its shorter side and is dragged with the left button along its longer
// side (ProfileCropGeometry).
class ProfileImageView : public QWidget
{
    Q_OBJECT
public:
    explicit ProfileImageView(QWidget* parent = nullptr);

    // False (and nothing shown) when the picture is empty. The view's side is its width.
    bool setPicture(const QPixmap& picture);
    QPixmap picture() const { return m_picture; }
    const ProfileCropGeometry& geometry() const { return m_geometry; }
    // The part of the scaled picture under the view, the size of the view.
    QPixmap selectedPicture() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void rescale();

    QPixmap m_picture;
    QPixmap m_scaled;
    ProfileCropGeometry m_geometry;
    bool m_dragging = false;
    QPoint m_lastPos;
};
