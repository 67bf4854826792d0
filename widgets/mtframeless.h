#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

class QMouseEvent;
class QRubberBand;
class QWidget;

// Lets an undecorated window be moved by its body and resized by its edges and corners, the way
// a system title bar would. It lives as the window's event filter and dies with the window.
class MtFrameLess : public QObject
{
    Q_OBJECT
public:
    // Where a point lies on the window's frame.
    enum Region
    {
        Inside = 0,
        Left = 0x1,
        Right = 0x2,
        Top = 0x4,
        Bottom = 0x8,
        TopLeft = Top | Left,
        TopRight = Top | Right,
        BottomLeft = Bottom | Left,
        BottomRight = Bottom | Right,
        Outside = 0x10,
    };

    MtFrameLess(QWidget* widget, bool resizable);
    ~MtFrameLess() override;

    bool isResizable() const { return m_resizable; }
    int borderWidth() const { return m_borderWidth; }

    // The region of `globalPos` on `frame`: a point up to `border` pixels inside or one pixel
    // outside an edge belongs to that edge; where two edges meet it is the corner.
    static int regionAt(const QRect& frame, const QPoint& globalPos, int border);
    static Qt::CursorShape cursorFor(int region);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isLocked() const;
    void press(QMouseEvent* event);
    void move(QMouseEvent* event);
    void release();
    void hover(const QPoint& globalPos);
    void resizeTo(const QPoint& globalPos);
    void setCursorShape(Qt::CursorShape shape);

    QWidget* m_widget;
    bool m_resizable;
    int m_borderWidth = 5;
    // Holds the frame geometry at the press: every resize step is measured from it.
    QRubberBand* m_rubberBand;
    bool m_pressed = false;
    bool m_moving = false;
    bool m_cursorChanged = false;
    int m_region = Inside;
    QPoint m_pressPos;
};
