#include "common/typed.h"

namespace mttyped {

QByteArray text(const QString& v)
{
    return v.isNull() ? QByteArrayLiteral("null") : '"' + v.toUtf8() + '"';
}

QByteArray text(const QByteArray& v)
{
    return "b\"" + v.toPercentEncoding(" !#$&'()*+,/:;=?@[]{}<>|~^`\\") + '"';
}

QByteArray text(const char* v)
{
    return text(QString::fromUtf8(v));
}

QByteArray text(bool v)
{
    return v ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

QByteArray text(const QSize& v)
{
    return QByteArray::number(v.width()) + 'x' + QByteArray::number(v.height());
}

QByteArray text(const QRect& v)
{
    return '(' + QByteArray::number(v.x()) + ',' + QByteArray::number(v.y()) + ") " +
           text(v.size());
}

QList<QByteArray> names(const char* list)
{
    QList<QByteArray> out;
    for (const QByteArray& n : QByteArray(list).split(','))
        out << n.trimmed();
    return out;
}

} // namespace mttyped
