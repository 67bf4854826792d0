#pragma once

#include <QSize>

// The zoom rules of the image viewer, apart from the widgets: steps of a tenth, a switch to
// fit-to-window once zooming out would no longer leave the picture larger than the view, and
// which of the two zoom buttons may be used.
class MtImageZoom
{
public:
    static constexpr double kStep = 0.1;
    static constexpr int kMaxTimesPicture = 3;

    void setPictureSize(const QSize& size) { m_picture = size; }
    void setViewSize(const QSize& size) { m_view = size; }
    QSize pictureSize() const { return m_picture; }
    double factor() const { return m_factor; }
    void setFactor(double factor) { m_factor = factor; }

    // The factor cut down to tenths.
    static double tenths(double factor);

    // Each returns the new factor.
    double zoomIn();
    double zoomOut();
    double fit();
    // The factor for a newly shown picture: actual size when it fits, else fit to the view.
    double initial();

    QSize scaledSize() const;
    bool canZoomOut() const;
    bool canZoomIn() const;

private:
    QSize m_picture;
    QSize m_view;
    double m_factor = 1.0;
};
