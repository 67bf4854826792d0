// Hand-written wire bytes, and every truncation decoded from an exact-size buffer (sanitizers).
#include "messaging/chatpayload.h"
#include "messaging/messageid.h"
#include "messaging/payloadcodec.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(ChatPayload)

namespace {
// 1700000000123 ms, 2023-11-14T22:13:20.123Z.
const qint64 kTime = Q_INT64_C(1700000000123);

// Hex digits, spaces between fields for the reader; "T" stands for the 8 bytes of kTime.
QByteArray hex(QByteArray text)
{
    return QByteArray::fromHex(text.replace("T", "0000018bcfe5687b"));
}

// Decodes from a heap block holding exactly `bytes` (no terminator, no slack).
bool decodeExact(const QByteArray& bytes, ChatPayload* out)
{
    std::unique_ptr<char[]> block(new char[size_t(bytes.size())]);
    memcpy(block.get(), bytes.constData(), size_t(bytes.size()));
    return PayloadCodec::decode(QByteArray::fromRawData(block.get(), bytes.size()), out);
}
} // namespace

class TestPayloadCodec : public QObject
{
    Q_OBJECT
private slots:
    void wireBytesAndEveryTruncation_data()
    {
        QTest::addColumn<ChatPayload>("payload");
        QTest::addColumn<QByteArray>("wire");

        QTest::newRow("chat: abc from 7 with a three-byte id")
            << ChatPayload::chat(kTime, 7, ChatPayload::ContentText, "a-1", {}, "abc")
            << hex("T 01 01 00000007 0003 612d31 0000 616263");
        QTest::newRow("chat: id list is little-endian")
            << ChatPayload::chat(kTime, 0x01020304, ChatPayload::ContentText, "x", {0x01020304, -2},
                                 "hi")
            << hex("T 01 01 01020304 0001 78 0002 04030201 feffffff 6869");
        QTest::newRow("chat: UTF-8 text")
            << ChatPayload::chat(kTime, 7, ChatPayload::ContentText, "id", {}, "한")
            << hex("T 01 01 00000007 0002 6964 0000 ed959c");
        QTest::newRow("chat: negative time and sender, empty tail")
            << ChatPayload::chat(-1, -2, ChatPayload::ContentFile, "", {}, "")
            << hex("ffffffffffffffff 01 04 fffffffe 0000 0000");
        for (quint8 type :
             {ChatPayload::TypeInvite, ChatPayload::TypeAdmission, ChatPayload::TypeLeave,
              ChatPayload::TypeEnterRead, ChatPayload::TypeLeaveRead, ChatPayload::TypeHereRead}) {
            QTest::addRow("%s", qPrintable(ChatPayload::typeName(type)))
                << ChatPayload::event(kTime, type, 0x00010203, "m-9", "{}")
                << hex("T " + QByteArray::number(type, 16).rightJustified(2, '0') +
                       " 00010203 0003 6d2d39 7b7d");
        }
        QTest::newRow("push: no id field")
            << ChatPayload::push(kTime, 300, "notice") << hex("T 06 0000012c 6e6f74696365");
        QTest::newRow("logout: the head alone, 9 bytes")
            << ChatPayload::logout(kTime) << hex("T 63");
    }

    void wireBytesAndEveryTruncation()
    {
        QFETCH(ChatPayload, payload);
        QFETCH(QByteArray, wire);
        QCOMPARE(PayloadCodec::encode(payload).toHex(), wire.toHex());
        // Decoded and re-encoded gives the same bytes; a cut before the tail is refused.
        const int tail = wire.size() - payload.contents.size();
        for (int n = 0; n <= wire.size(); ++n) {
            ChatPayload p;
            const bool ok = decodeExact(wire.left(n), &p);
            QCOMPARE(ok, n >= tail);
            // What could be read of the head is still there for the log line.
            QCOMPARE(int(p.messageType), n >= 9 ? int(payload.messageType) : 0);
            if (ok)
                QCOMPARE(PayloadCodec::encode(p).toHex(), wire.left(n).toHex());
            else
                QVERIFY(p.messageId.isEmpty() && p.contents.isEmpty() && p.idList.isEmpty());
        }
    }

    void headsAndAnnouncedLengths()
    {
        // LOGOUT and the types nobody here handles: the head is read, whatever follows is ignored.
        for (quint8 type : {0, 2, 7, 8, 12, 99, 255}) {
            ChatPayload p;
            QVERIFY(decodeExact(hex("T") + char(type) + hex("00000007 ffff"), &p));
            QCOMPARE(PayloadCodec::encode(p), QByteArray(hex("T") + char(type)));
        }
        // Lengths announced far beyond the end (a length just past it is a cut of the loop
        // above): refused, nothing read.
        for (const char* wire : {"T 01 01 00000007 ffff 616263",
                                 "T 01 01 00000007 0000 ffff 01000000", "T 03 00000007 8000"}) {
            ChatPayload p;
            QVERIFY2(!decodeExact(hex(wire), &p), wire);
            QVERIFY(p.idList.isEmpty() && p.contents.isEmpty());
        }
    }

    void jsonTail()
    {
        // A tail that is not a JSON object, or a value that is not a number in range, reads as 0.
        const qint64 kMaxExact = Q_INT64_C(9007199254740991);
        const QList<QPair<QByteArray, qint64>> tails = {
            {"{\n    \"readTime\": 30\n}\n", 30},
            {"{\"readTime\":", 0},
            {"{\"readTime\":1e300}", 0},
            // What this client sends: times beyond 32 bits written as integers, exactly.
            {ChatPayload::enterReadContents("c1", kTime).toUtf8(), kTime},
            {ChatPayload::enterReadContents("c1", kMaxExact).toUtf8(), kMaxExact}};
        for (const auto& t : tails) {
            ChatPayload p;
            p.contents = t.first;
            QCOMPARE(ChatPayload::toInt64(p.object().value("readTime")), t.second);
        }
    }

    void messageIds()
    {
        // The first four digits of the counter, all of them when it has fewer.
        QCOMPARE(formatMessageId("c1", kTime, 987654321), QStringLiteral("c1-17000000001239876"));
        QCOMPARE(formatMessageId("c1", kTime, 12), QStringLiteral("c1-170000000012312"));
        // Far more ids than milliseconds pass while they are made: none may repeat.
        QSet<QString> seen;
        const QRegularExpression shape(QStringLiteral("^client-7-\\d{17}$"));
        for (int i = 0; i < 5000; ++i) {
            const QString id = makeMessageId(QStringLiteral("client-7"));
            QVERIFY2(shape.match(id).hasMatch() && !seen.contains(id), qPrintable(id));
            seen.insert(id);
        }
    }
};

QTEST_GUILESS_MAIN(TestPayloadCodec)
#include "tst_payloadcodec.moc"
