// Whatever the server sends, the trim never makes a body readable that is not: when the shorter
// body it gives reads as a JSON object, so does the whole one.
#include "net/netroomlisttrim.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
bool readsAsObject(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError && document.isObject();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // No copy: a read past the end hits the fuzzer's own exact-size buffer.
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const QByteArray trimmed = NetRoomListTrim::trimmed(body);
    if (trimmed.isEmpty())
        return 0;
    if (trimmed.size() > body.size() || (readsAsObject(trimmed) && !readsAsObject(body)))
        abort();
    return 0;
}
