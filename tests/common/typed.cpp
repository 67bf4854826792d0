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

QByteArray text(const QDateTime& v)
{
    return v.isValid() ? v.toString(Qt::ISODateWithMs).toUtf8() : QByteArrayLiteral("invalid");
}

QByteArray text(const QVariant& v)
{
    if (!v.isValid())
        return QByteArrayLiteral("invalid");
    return QByteArray(v.typeName()) + '(' + text(v.toString()) + ')';
}

QByteArray text(const QStringList& v)
{
    return sequence(v);
}

QByteArray text(const QDate& v)
{
    return v.isValid() ? v.toString(Qt::ISODate).toUtf8() : QByteArrayLiteral("invalid");
}

QByteArray text(const QTime& v)
{
    return v.isValid() ? v.toString(Qt::ISODateWithMs).toUtf8() : QByteArrayLiteral("invalid");
}

QByteArray text(const QPoint& v)
{
    return '(' + QByteArray::number(v.x()) + ',' + QByteArray::number(v.y()) + ')';
}

QByteArray text(const QSize& v)
{
    return QByteArray::number(v.width()) + 'x' + QByteArray::number(v.height());
}

QByteArray text(const QRect& v)
{
    return text(v.topLeft()) + ' ' + text(v.size());
}

QByteArray text(const QColor& v)
{
    return v.name(QColor::HexArgb).toLatin1();
}

QList<QByteArray> names(const char* list)
{
    QList<QByteArray> out;
    for (const QByteArray& n : QByteArray(list).split(','))
        out << n.trimmed();
    return out;
}

} // namespace mttyped
