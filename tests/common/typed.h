#pragma once

// MT_TYPED(Type, fields...) inside a struct: operator== and a QTest::toString over the fields
// (and over a QVector of them), so a failed QCOMPARE names the field that differs; mtFields()
// fills them in that order.

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtTest>

#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace mttyped {

QByteArray text(const QString& v);
QByteArray text(const QByteArray& v);
QByteArray text(const char* v);
QByteArray text(bool v);
QByteArray text(const QSize& v);
QByteArray text(const QRect& v);

template <typename T>
std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>, QByteArray> text(T v)
{
    return QByteArray::number(v);
}
template <typename T>
std::enable_if_t<std::is_enum_v<T>, QByteArray> text(T v)
{
    return QByteArray::number(static_cast<qint64>(v));
}
// Nested typed structs print their fields.
template <typename T>
auto text(const T& v) -> decltype(v.mtText())
{
    return v.mtText();
}
template <typename T>
QByteArray text(const std::optional<T>& v)
{
    return v ? text(*v) : QByteArrayLiteral("none");
}
template <typename A, typename B>
QByteArray text(const std::pair<A, B>& v)
{
    return '(' + text(v.first) + ", " + text(v.second) + ')';
}
// Declared before `sequence`, so that lists of lists print too.
template <typename T>
QByteArray text(const QVector<T>& v);
template <typename T>
QByteArray text(const QList<T>& v);
template <typename Seq>
QByteArray sequence(const Seq& s)
{
    QByteArray out = "[";
    bool first = true;
    for (const auto& e : s) {
        if (!first)
            out += ", ";
        first = false;
        out += text(e);
    }
    return out + ']';
}
template <typename T>
QByteArray text(const QVector<T>& v)
{
    return sequence(v);
}
template <typename T>
QByteArray text(const QList<T>& v)
{
    return sequence(v);
}

// "a, b,c" -> its names; field lists are plain member names.
QList<QByteArray> names(const char* list);

template <typename Tuple, std::size_t... I>
QByteArray fields(const char* list, const Tuple& t, std::index_sequence<I...>)
{
    const QList<QByteArray> n = names(list);
    QByteArray out = "{";
    ((out += (I ? ", " : "") + n.value(int(I)) + '=' + text(std::get<I>(t))), ...);
    return out + '}';
}

} // namespace mttyped

#define MT_TYPED(Type, ...)                                                                        \
    auto mtTie() const                                                                             \
    {                                                                                              \
        return std::tie(__VA_ARGS__);                                                              \
    }                                                                                              \
    auto mtFields()                                                                                \
    {                                                                                              \
        return std::tie(__VA_ARGS__);                                                              \
    }                                                                                              \
    QByteArray mtText() const                                                                      \
    {                                                                                              \
        const auto t = mtTie();                                                                    \
        return mttyped::fields(#__VA_ARGS__, t,                                                    \
                               std::make_index_sequence<std::tuple_size_v<decltype(t)>>());        \
    }                                                                                              \
    friend bool operator==(const Type& a, const Type& b)                                           \
    {                                                                                              \
        return a.mtTie() == b.mtTie();                                                             \
    }                                                                                              \
    friend bool operator!=(const Type& a, const Type& b)                                           \
    {                                                                                              \
        return !(a == b);                                                                          \
    }                                                                                              \
    friend char* toString(const Type& v)                                                           \
    {                                                                                              \
        return qstrdup(v.mtText().constData());                                                    \
    }                                                                                              \
    friend char* toString(const QVector<Type>& v)                                                  \
    {                                                                                              \
        return qstrdup(mttyped::text(v).constData());                                              \
    }
