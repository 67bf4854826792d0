#pragma once

// Printers for Qt's geometry and colour types in MT_TYPED results (common/typed.h finds them by
// argument-dependent lookup, so they live in the types' own, global, namespace).
#include <QByteArray>
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

inline QByteArray text(const QPoint& p)
{
    return '(' + QByteArray::number(p.x()) + ',' + QByteArray::number(p.y()) + ')';
}
inline QByteArray text(const QSize& s)
{
    return QByteArray::number(s.width()) + 'x' + QByteArray::number(s.height());
}
inline QByteArray text(const QRect& r)
{
    return text(r.topLeft()) + ' ' + text(r.size());
}
inline QByteArray text(const QColor& c)
{
    return c.name(QColor::HexArgb).toLatin1();
}
