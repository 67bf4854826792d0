#include "messaging/payloadcodec.h"

#include <QtEndian>

namespace {

// Appends the fixed-size fields of a payload in wire order.
class Writer
{
public:
    explicit Writer(QByteArray* out) : m_out(out) {}
    void u8(quint8 v) { m_out->append(char(v)); }
    void be16(quint16 v) { put(qToBigEndian(v)); }
    void be32(qint32 v) { put(qToBigEndian(v)); }
    void be64(qint64 v) { put(qToBigEndian(v)); }
    void le32(qint32 v) { put(qToLittleEndian(v)); }
    void bytes(const QByteArray& b) { m_out->append(b); }

private:
    template <typename T>
    void put(T v)
    {
        m_out->append(reinterpret_cast<const char*>(&v), int(sizeof v));
    }
    QByteArray* m_out;
};

// Reads fields front to back and refuses any read that would cross the end: every access is
// checked against the remaining length first, so a short payload fails instead of overrunning.
class Reader
{
public:
    explicit Reader(const QByteArray& in)
        : m_data(reinterpret_cast<const uchar*>(in.constData())), m_size(in.size())
    {}
    bool u8(quint8* v) { return take(1) && (*v = m_data[m_pos - 1], true); }
    bool be16(quint16* v) { return take(2) && (*v = qFromBigEndian<quint16>(at(2)), true); }
    bool be32(qint32* v) { return take(4) && (*v = qFromBigEndian<qint32>(at(4)), true); }
    bool be64(qint64* v) { return take(8) && (*v = qFromBigEndian<qint64>(at(8)), true); }
    bool le32(qint32* v) { return take(4) && (*v = qFromLittleEndian<qint32>(at(4)), true); }
    bool bytes(int n, QByteArray* v)
    {
        return take(n) && (*v = QByteArray(reinterpret_cast<const char*>(at(n)), n), true);
    }
    int remaining() const { return m_size - m_pos; }
    QByteArray rest()
    {
        QByteArray v;
        bytes(remaining(), &v);
        return v;
    }

private:
    bool take(int n)
    {
        if (n < 0 || remaining() < n)
            return false;
        m_pos += n;
        return true;
    }
    // The n bytes just taken.
    const uchar* at(int n) const { return m_data + m_pos - n; }

    const uchar* m_data;
    int m_size;
    int m_pos = 0;
};

// Types whose layout is the sender id, the message id and the tail.
bool isRoomOrReadEvent(int type)
{
    switch (type) {
    case ChatPayload::TypeInvite:
    case ChatPayload::TypeAdmission:
    case ChatPayload::TypeLeave:
    case ChatPayload::TypeEnterRead:
    case ChatPayload::TypeLeaveRead:
    case ChatPayload::TypeHereRead:
        return true;
    default:
        return false;
    }
}

bool readMessageId(Reader& r, QString* id)
{
    quint16 length = 0;
    QByteArray bytes;
    if (!r.be16(&length) || !r.bytes(length, &bytes))
        return false;
    *id = QString::fromUtf8(bytes);
    return true;
}

} // namespace

QByteArray PayloadCodec::encode(const ChatPayload& p)
{
    QByteArray out;
    Writer w(&out);
    w.be64(p.msgTime);
    w.u8(p.messageType);
    const bool chat = p.messageType == ChatPayload::TypeChat;
    // Types without a layout of their own (and LOGOUT, which is read from its head alone) are
    // written as the head.
    if (!chat && p.messageType != ChatPayload::TypePush && !isRoomOrReadEvent(p.messageType))
        return out;
    if (chat)
        w.u8(p.contentType);
    w.be32(p.senderId);
    if (p.messageType != ChatPayload::TypePush) {
        // The length field has 16 bits; a longer id cannot be represented, so it is cut rather
        // than letting the length wrap and shift every following field.
        const QByteArray id = p.messageId.toUtf8().left(0xFFFF);
        w.be16(quint16(id.size()));
        w.bytes(id);
    }
    if (chat) {
        const int count = qMin(p.idList.size(), 0xFFFF);
        w.be16(quint16(count));
        for (int i = 0; i < count; ++i)
            w.le32(p.idList.at(i));
    }
    w.bytes(p.contents);
    return out;
}

bool PayloadCodec::decode(const QByteArray& bytes, ChatPayload* out)
{
    *out = ChatPayload();
    Reader r(bytes);
    qint64 time = 0;
    quint8 type = 0;
    if (!r.be64(&time) || !r.u8(&type))
        return false;
    out->msgTime = time;
    out->messageType = type;

    ChatPayload p;
    p.msgTime = time;
    p.messageType = type;
    if (type == ChatPayload::TypeChat) {
        quint16 count = 0;
        if (!r.u8(&p.contentType) || !r.be32(&p.senderId) || !readMessageId(r, &p.messageId) ||
            !r.be16(&count))
            return false;
        if (r.remaining() / 4 < count)
            return false;
        p.idList.resize(count);
        for (qint32& id : p.idList)
            r.le32(&id);
    } else if (isRoomOrReadEvent(type)) {
        if (!r.be32(&p.senderId) || !readMessageId(r, &p.messageId))
            return false;
    } else if (type == ChatPayload::TypePush) {
        if (!r.be32(&p.senderId))
            return false;
    } else {
        // LOGOUT and the types nobody here handles: the head is all there is to read.
        return true;
    }
    p.contents = r.rest();
    *out = p;
    return true;
}
