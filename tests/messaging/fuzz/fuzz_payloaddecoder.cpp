// Whatever the broker delivers decodes or is refused within its bytes, and decodes consistently.
#include "messaging/chatpayload.h"
#include "messaging/payloadcodec.h"

#include <QJsonObject>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // No copy: a read past the end hits the fuzzer's own exact-size buffer.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    ChatPayload p;
    if (!PayloadCodec::decode(bytes, &p))
        return 0;
    if (size < 9)
        abort();
    // The tail is the end of the payload.
    if (!bytes.endsWith(p.contents))
        abort();
    // Re-encoding gives the same bytes when the id was valid UTF-8 and the type has a layout.
    if (p.messageId.toUtf8().size() <= 0xFFFF && ChatPayload::isHandledType(p.messageType)) {
        const QByteArray again = PayloadCodec::encode(p);
        ChatPayload q;
        if (!PayloadCodec::decode(again, &q) || q.contents != p.contents || q.idList != p.idList ||
            q.messageId != p.messageId || q.senderId != p.senderId)
            abort();
    }
    // The handlers read the tail as text and as JSON.
    (void)p.text();
    (void)ChatPayload::toInt64(p.object().value(QStringLiteral("readTime")));
    return 0;
}
