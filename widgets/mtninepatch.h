#pragma once

#include <QMargins>
#include <QPixmap>
#include <QString>

class QPainter;

// A nine-patch picture (".9.png"): a one-pixel border whose black marks on the top and left
// edges give the column and row that stretch, and on the bottom and right edges the content
// area. The corners keep their size, so a chat bubble keeps its rounded corners and tail at any
// size. On high-density screens the "@2x" rendering is used.
class MtNinePatch
{
public:
    MtNinePatch() = default;
    explicit MtNinePatch(const QString& path, qreal ratio = 1.0);

    bool isNull() const { return m_body.isNull(); }
    // In device-independent pixels.
    QMargins padding() const;
    QSize minimumSize() const;
    // The stretch column and row, in pixels of the picture (for checks of the artwork).
    int stretchLeft() const { return m_x0; }
    int stretchRight() const { return m_x1; }
    int stretchTop() const { return m_y0; }
    int stretchBottom() const { return m_y1; }
    qreal ratio() const { return m_ratio; }

    void draw(QPainter* painter, const QRect& target) const;

private:
    bool parse(const QImage& image);

    QPixmap m_body;
    qreal m_ratio = 1.0;
    int m_x0 = 0;
    int m_x1 = 0;
    int m_y0 = 0;
    int m_y1 = 0;
    QMargins m_padding;
};
