#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// A success answer of the server, whose body must be one JSON object. Anything else (an empty
// body, one cut short, an HTML page, an array, null) is unreadable, and an unreadable answer is a
// failure: read as an empty object it would let a caller act on nothing, and the room list would
// then delete every stored room. Every path of the engine reads its 200 answers through here.
class NetAnswer
{
public:
    // Reads the body; an unreadable one is logged as "<where> - unreadable answer <id>: <size>
    // bytes: <first bytes>", credentials masked.
    static NetAnswer read(const QByteArray& body, const char* where, const QString& id);

    bool isReadable() const { return m_readable; }
    QJsonObject object() const { return m_object; }

    // At most the first 64 bytes of a body as one printable line: other bytes become ".", and
    // the values of keys that name a credential (key, password, token, secret, client id) become
    // "****", also when the value is cut off.
    static QString preview(const QByteArray& body);

private:
    bool m_readable = false;
    QJsonObject m_object;
};
