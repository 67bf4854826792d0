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

QList<QByteArray> names(const char* list)
{
    QList<QByteArray> out;
    for (const QByteArray& n : QByteArray(list).split(','))
        out << n.trimmed();
    return out;
}

} // namespace mttyped
