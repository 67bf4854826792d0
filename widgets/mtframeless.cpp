#include "widgets/mtframeless.h"

#include <QDebug>
#include <QEvent>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWidget>

MtFrameLess::MtFrameLess(QWidget* widget, bool resizable)
    : QObject(widget), m_widget(widget), m_resizable(resizable),
      m_rubberBand(new QRubberBand(QRubberBand::Rectangle, widget))
{
    m_rubberBand->hide();
    m_widget->setWindowFlags(m_widget->windowFlags() | Qt::FramelessWindowHint);
    m_widget->setMouseTracking(true);
    m_widget->setAttribute(Qt::WA_Hover, true);
    m_widget->installEventFilter(this);
}

MtFrameLess::~MtFrameLess()
{
    qDebug().noquote().nospace() << "MtFrameLess::~MtFrameLess()...1";
    qDebug().noquote().nospace() << "MtFrameLess::~MtFrameLess()...2";
}

int MtFrameLess::regionAt(const QRect& frame, const QPoint& p, int border)
{
    const QRect reach = frame.adjusted(-1, -1, 1, 1);
    if (!reach.contains(p))
        return Outside;
    int region = Inside;
    if (p.x() < frame.left() + border)
        region |= Left;
    else if (p.x() > frame.right() - border)
        region |= Right;
    if (p.y() < frame.top() + border)
        region |= Top;
    else if (p.y() > frame.bottom() - border)
        region |= Bottom;
    return region;
}

Qt::CursorShape MtFrameLess::cursorFor(int region)
{
    switch (region) {
    case Left:
    case Right:
        return Qt::SizeHorCursor;
    case Top:
    case Bottom:
        return Qt::SizeVerCursor;
    case TopLeft:
    case BottomRight:
        return Qt::SizeFDiagCursor;
    case TopRight:
    case BottomLeft:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

bool MtFrameLess::isLocked() const
{
    return m_widget->isMaximized() || m_widget->isFullScreen();
}

bool MtFrameLess::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_widget)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        press(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseMove:
        move(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            release();
        break;
    case QEvent::HoverMove:
        if (!m_pressed && !isLocked())
            hover(m_widget->mapToGlobal(static_cast<QHoverEvent*>(event)->pos()));
        break;
    case QEvent::Leave:
        if (!m_pressed)
            setCursorShape(Qt::ArrowCursor);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void MtFrameLess::press(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || isLocked())
        return;
    m_pressed = true;
    m_widget->grabMouse();
    const QRect frame = m_widget->frameGeometry();
    m_region = m_resizable ? regionAt(frame, event->globalPos(), m_borderWidth) : Inside;
    m_rubberBand->setGeometry(frame);
    m_pressPos = event->globalPos();
    const QRect body =
        m_widget->rect().adjusted(m_borderWidth, m_borderWidth, -m_borderWidth, -m_borderWidth);
    if (body.contains(event->pos()))
        m_moving = true;
}

void MtFrameLess::move(QMouseEvent* event)
{
    if (m_pressed && isLocked()) {
        // The window was maximized while the button was held: it stays where the system put it.
        release();
        return;
    }
    if (m_moving) {
        const QPoint travel = event->globalPos() - m_pressPos;
        m_widget->move(m_widget->pos() + travel);
        m_pressPos = event->globalPos();
        return;
    }
    if (m_pressed && m_resizable && m_region != Inside && m_region != Outside) {
        resizeTo(event->globalPos());
        return;
    }
    if (!m_pressed && !isLocked())
        hover(event->globalPos());
}

void MtFrameLess::release()
{
    m_pressed = false;
    m_moving = false;
    m_region = Inside;
    m_widget->releaseMouse();
}

void MtFrameLess::hover(const QPoint& globalPos)
{
    const int region =
        m_resizable ? regionAt(m_widget->frameGeometry(), globalPos, m_borderWidth) : Inside;
    setCursorShape(cursorFor(region));
}

void MtFrameLess::resizeTo(const QPoint& globalPos)
{
    // Edges follow the cursor's travel since the press, so grabbing an edge a few pixels inside
    // does not make it jump under the cursor.
    QRect rect = m_rubberBand->geometry();
    const QPoint p =
        QPoint(globalPos - m_pressPos) + QPoint(m_region & Left ? rect.left() : rect.right(),
                                                m_region & Top ? rect.top() : rect.bottom());
    const QSize minimum =
        m_widget->minimumSize().expandedTo(QSize(2 * m_borderWidth + 1, 2 * m_borderWidth + 1));
    if (m_region & Left)
        rect.setLeft(qMin(p.x(), rect.right() - minimum.width() + 1));
    if (m_region & Right)
        rect.setRight(qMax(p.x(), rect.left() + minimum.width() - 1));
    if (m_region & Top)
        rect.setTop(qMin(p.y(), rect.bottom() - minimum.height() + 1));
    if (m_region & Bottom)
        rect.setBottom(qMax(p.y(), rect.top() + minimum.height() - 1));
    m_widget->setGeometry(rect);
}

void MtFrameLess::setCursorShape(Qt::CursorShape shape)
{
    if (shape == Qt::ArrowCursor) {
        if (m_cursorChanged)
            m_widget->unsetCursor();
        m_cursorChanged = false;
        return;
    }
    m_widget->setCursor(shape);
    m_cursorChanged = true;
}
