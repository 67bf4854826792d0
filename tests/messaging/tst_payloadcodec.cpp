// The chat payload codec against byte strings written by hand from the wire tables, and every
// truncation of every payload type decoded from buffers of exactly the truncated size, so that
// the sanitizer build catches any read past the end.
#include "messaging/chatpayload.h"
#include "messaging/messageid.h"
#include "messaging/payloadcodec.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(ChatPayload)

namespace {
// 1700000000123 ms, 2023-11-14T22:13:20.123Z.
const qint64 kTime = Q_INT64_C(1700000000123);
const char kTimeHex[] = "0000018bcfe5687b";

// Hex digits, spaces between fields for the reader; "T" stands for the 8 bytes of kTime.
QByteArray hex(const QByteArray& text)
{
    QByteArray digits = text;
    digits.replace("T", kTimeHex);
    return QByteArray::fromHex(digits);
}

// Decodes from a heap block holding exactly `bytes` (no terminator, no slack).
bool decodeExact(const QByteArray& bytes, ChatPayload* out)
{
    std::unique_ptr<char[]> block(new char[size_t(bytes.size())]);
    memcpy(block.get(), bytes.constData(), size_t(bytes.size()));
    return PayloadCodec::decode(QByteArray::fromRawData(block.get(), bytes.size()), out);
}

void comparePayloads(const ChatPayload& actual, const ChatPayload& expected)
{
    QCOMPARE(actual.msgTime, expected.msgTime);
    QCOMPARE(int(actual.messageType), int(expected.messageType));
    QCOMPARE(int(actual.contentType), int(expected.contentType));
    QCOMPARE(actual.senderId, expected.senderId);
    QCOMPARE(actual.messageId, expected.messageId);
    QCOMPARE(actual.idList, expected.idList);
    QCOMPARE(actual.contents, expected.contents);
}

// Where the tail starts in an encoded payload, worked out from the announced lengths.
int tailOffset(const ChatPayload& p)
{
    const int id = p.messageId.toUtf8().size();
    switch (p.messageType) {
    case ChatPayload::TypeChat:
        return 18 + id + 4 * p.idList.size();
    case ChatPayload::TypePush:
        return 13;
    case ChatPayload::TypeLogout:
        return 9;
    default:
        return 15 + id;
    }
}
} // namespace

class TestPayloadCodec : public QObject
{
    Q_OBJECT
private slots:
    void wireBytes_data();
    void wireBytes();
    void headOnlyTypes_data();
    void headOnlyTypes();
    void everyTruncationIsDropped_data();
    void everyTruncationIsDropped();
    void announcedLengthsBeyondTheEnd_data();
    void announcedLengthsBeyondTheEnd();
    void jsonTail_data();
    void jsonTail();
    void enterReadCarries64BitTime();
    void messageIdFormat_data();
    void messageIdFormat();
    void messageIdsAreUnique();
};

void TestPayloadCodec::wireBytes_data()
{
    QTest::addColumn<ChatPayload>("payload");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("name"); // the type's name in log lines

    QTest::newRow("chat: abc from 7 with a three-byte id")
        << ChatPayload::chat(kTime, 7, ChatPayload::ContentText, "a-1", {}, "abc")
        << hex("T 01 01 00000007 0003 612d31 0000 616263") << "CHAT";
    QTest::newRow("chat: empty id puts the count at offset 16")
        << ChatPayload::chat(kTime, 7, ChatPayload::ContentText, "", {}, "abc")
        << hex("T 01 01 00000007 0000 0000 616263") << "CHAT";
    QTest::newRow("chat: id list is little-endian")
        << ChatPayload::chat(kTime, 0x01020304, ChatPayload::ContentText, "x", {0x01020304, -2},
                             "hi")
        << hex("T 01 01 01020304 0001 78 0002 04030201 feffffff 6869") << "CHAT";
    QTest::newRow("chat: empty tail")
        << ChatPayload::chat(kTime, 7, ChatPayload::ContentFile, "id", {}, "")
        << hex("T 01 04 00000007 0002 6964 0000") << "CHAT";
    QTest::newRow("chat: UTF-8 text")
        << ChatPayload::chat(kTime, 7, ChatPayload::ContentText, "id", {}, "한")
        << hex("T 01 01 00000007 0002 6964 0000 ed959c") << "CHAT";
    QTest::newRow("chat: negative time, high sender id")
        << ChatPayload::chat(-1, -2, ChatPayload::ContentText, "", {}, "")
        << hex("ffffffffffffffff 01 01 fffffffe 0000 0000") << "CHAT";
    const QList<QPair<const char*, quint8>> events = {
        {"INVITE", ChatPayload::TypeInvite},       {"ADMISSION", ChatPayload::TypeAdmission},
        {"LEAVE", ChatPayload::TypeLeave},         {"ENTERREAD", ChatPayload::TypeEnterRead},
        {"LEAVEREAD", ChatPayload::TypeLeaveRead}, {"HEREREAD", ChatPayload::TypeHereRead}};
    for (const auto& e : events) {
        QTest::newRow(e.first) << ChatPayload::event(kTime, e.second, 0x00010203, "m-9", "{}")
                               << hex("T " +
                                      QByteArray::number(e.second, 16).rightJustified(2, '0') +
                                      " 00010203 0003 6d2d39 7b7d")
                               << e.first;
    }
    QTest::newRow("leave read: empty id and client id tail")
        << ChatPayload::event(kTime, ChatPayload::TypeLeaveRead, 5, "", "c1")
        << hex("T 0a 00000005 0000 6331") << "LEAVEREAD";
    QTest::newRow("push: no id field")
        << ChatPayload::push(kTime, 300, "notice") << hex("T 06 0000012c 6e6f74696365") << "PUSH";
    QTest::newRow("logout: the head alone, 9 bytes")
        << ChatPayload::logout(kTime) << hex("T 63") << "LOGOUT";
}

void TestPayloadCodec::wireBytes()
{
    QFETCH(ChatPayload, payload);
    QFETCH(QByteArray, wire);
    QFETCH(QString, name);
    QCOMPARE(PayloadCodec::encode(payload).toHex(), wire.toHex());
    ChatPayload decoded;
    QVERIFY(decodeExact(wire, &decoded));
    comparePayloads(decoded, payload);
    QCOMPARE(ChatPayload::typeName(decoded.messageType), name);
    QVERIFY(ChatPayload::isHandledType(decoded.messageType));
}

void TestPayloadCodec::headOnlyTypes_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("name"); // the type's name in log lines
    QTest::addColumn<bool>("handled");
    QTest::newRow("logout with trailing bytes") << hex("T 63 00000007 ffff") << "LOGOUT" << true;
    QTest::newRow("read") << hex("T 02 00000007 0003") << "READ" << false;
    QTest::newRow("pushreq") << hex("T 07") << "PUSHREQ" << false;
    QTest::newRow("pushres") << hex("T 08 ff") << "PUSHRES" << false;
    QTest::newRow("unknown 0") << hex("T 00 0102") << "UNKNOWN" << false;
    QTest::newRow("unknown 12") << hex("T 0c") << "UNKNOWN" << false;
    QTest::newRow("unknown 255") << hex("T ff") << "UNKNOWN" << false;
}

void TestPayloadCodec::headOnlyTypes()
{
    QFETCH(QByteArray, wire);
    QFETCH(QString, name);
    QFETCH(bool, handled);
    ChatPayload p;
    QVERIFY(decodeExact(wire, &p));
    QCOMPARE(p.msgTime, kTime);
    QCOMPARE(int(p.messageType), int(quint8(wire.at(8))));
    QVERIFY(p.senderId == 0 && p.messageId.isEmpty() && p.contents.isEmpty());
    QCOMPARE(ChatPayload::typeName(p.messageType), name);
    QCOMPARE(ChatPayload::isHandledType(p.messageType), handled);
}

void TestPayloadCodec::everyTruncationIsDropped_data()
{
    QTest::addColumn<ChatPayload>("payload");
    const QString id = QStringLiteral("cid-17000000001231234");
    QTest::newRow("chat with list")
        << ChatPayload::chat(kTime, 7, ChatPayload::ContentText, id, {1, 2, 3}, "hello");
    QTest::newRow("chat, empty id and list")
        << ChatPayload::chat(kTime, 7, ChatPayload::ContentVideo, "", {}, "{}");
    for (quint8 type :
         {ChatPayload::TypeInvite, ChatPayload::TypeAdmission, ChatPayload::TypeLeave,
          ChatPayload::TypeEnterRead, ChatPayload::TypeLeaveRead, ChatPayload::TypeHereRead}) {
        QTest::addRow("%s", qPrintable(ChatPayload::typeName(type)))
            << ChatPayload::event(kTime, type, 7, id, "{\"a\":1}");
    }
    QTest::newRow("push") << ChatPayload::push(kTime, 7, "text");
    QTest::newRow("logout") << ChatPayload::logout(kTime);
}

void TestPayloadCodec::everyTruncationIsDropped()
{
    QFETCH(ChatPayload, payload);
    const QByteArray full = PayloadCodec::encode(payload);
    const int tail = tailOffset(payload);
    QCOMPARE(full.size(), tail + payload.contents.size());
    for (int n = 0; n <= full.size(); ++n) {
        ChatPayload p;
        const bool ok = decodeExact(full.left(n), &p);
        if (n < tail) {
            QVERIFY2(!ok, qPrintable(QStringLiteral("%1 of %2 bytes accepted").arg(n).arg(tail)));
            // What could be read of the head is still there for the log line.
            QCOMPARE(int(p.messageType), n >= 9 ? int(payload.messageType) : 0);
            QVERIFY(p.messageId.isEmpty() && p.contents.isEmpty() && p.idList.isEmpty());
        } else {
            // A cut inside the tail is indistinguishable from a shorter text.
            QVERIFY2(ok, qPrintable(QStringLiteral("%1 bytes refused").arg(n)));
            QCOMPARE(p.messageId, payload.messageId);
            QCOMPARE(p.contents, payload.contents.left(n - tail));
        }
    }
}

void TestPayloadCodec::announcedLengthsBeyondTheEnd_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("chat id length 0xffff, 3 bytes present") << hex("T 01 01 00000007 ffff 616263");
    QTest::newRow("chat id length one past the end") << hex("T 01 01 00000007 0004 616263");
    QTest::newRow("chat count 0xffff, one entry present")
        << hex("T 01 01 00000007 0000 ffff 01000000");
    QTest::newRow("chat count 2, 7 bytes of entries")
        << hex("T 01 01 00000007 0000 0002 01000000 020000");
    QTest::newRow("invite id length 0x8000, none present") << hex("T 03 00000007 8000");
    QTest::newRow("hereread id length 2, one present") << hex("T 0b 00000007 0002 61");
}

void TestPayloadCodec::announcedLengthsBeyondTheEnd()
{
    QFETCH(QByteArray, wire);
    ChatPayload p;
    QVERIFY(!decodeExact(wire, &p));
    QVERIFY(p.messageId.isEmpty() && p.contents.isEmpty() && p.idList.isEmpty());
}

void TestPayloadCodec::jsonTail_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("value"); // chatRoomType as an integer; 0 means absent
    QTest::newRow("indented object") << QByteArray("{\n    \"chatRoomType\": 30\n}\n") << 30;
    QTest::newRow("compact object") << QByteArray("{\"chatRoomType\":20}") << 20;
    QTest::newRow("not JSON") << QByteArray("{\"chatRoomType\":") << 0;
    QTest::newRow("array") << QByteArray("[30]") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe{}") << 0;
    QTest::newRow("string where a number belongs") << QByteArray("{\"chatRoomType\":\"30\"}") << 0;
}

void TestPayloadCodec::jsonTail()
{
    QFETCH(QByteArray, tail);
    QFETCH(int, value);
    ChatPayload p = ChatPayload::event(kTime, ChatPayload::TypeLeave, 7, "m", QString());
    p.contents = tail;
    ChatPayload decoded;
    QVERIFY(decodeExact(PayloadCodec::encode(p), &decoded));
    const QJsonValue type = decoded.object().value("chatRoomType");
    QCOMPARE(ChatPayload::toInt64(type), qint64(value));
    QCOMPARE(type.isDouble(), value != 0);
}

void TestPayloadCodec::enterReadCarries64BitTime()
{
    // Times beyond 32 bits, and the largest a JSON number holds exactly.
    for (qint64 readTime : {Q_INT64_C(0), kTime - 10000, Q_INT64_C(9007199254740991)}) {
        ChatPayload got;
        QVERIFY(decodeExact(PayloadCodec::encode(
                                ChatPayload::event(kTime, ChatPayload::TypeEnterRead, 7, "m",
                                                   ChatPayload::enterReadContents("c1", readTime))),
                            &got));
        QVERIFY(got.contents.contains(QByteArray::number(readTime)));
        QCOMPARE(got.object().value("clientId").toString(), QStringLiteral("c1"));
        QCOMPARE(ChatPayload::toInt64(got.object().value("readTime")), readTime);
    }
}

void TestPayloadCodec::messageIdFormat_data()
{
    QTest::addColumn<qint64>("counter");
    QTest::addColumn<QString>("id");
    QTest::newRow("long counter: first four digits")
        << Q_INT64_C(987654321) << "c1-17000000001239876";
    QTest::newRow("four digits") << Q_INT64_C(1234) << "c1-17000000001231234";
    QTest::newRow("fewer than four: all of them") << Q_INT64_C(12) << "c1-170000000012312";
    QTest::newRow("zero") << Q_INT64_C(0) << "c1-17000000001230";
}

void TestPayloadCodec::messageIdFormat()
{
    QFETCH(qint64, counter);
    QFETCH(QString, id);
    QCOMPARE(formatMessageId("c1", kTime, counter), id);
}

void TestPayloadCodec::messageIdsAreUnique()
{
    // Far more ids than milliseconds pass while they are made: none may repeat.
    QSet<QString> seen;
    const QRegularExpression shape(QStringLiteral("^client-7-\\d{17}$"));
    for (int i = 0; i < 5000; ++i) {
        const QString id = makeMessageId(QStringLiteral("client-7"));
        QVERIFY2(shape.match(id).hasMatch() && !seen.contains(id), qPrintable(id));
        seen.insert(id);
    }
}

QTEST_GUILESS_MAIN(TestPayloadCodec)
#include "tst_payloadcodec.moc"
