#pragma once

#include "messaging/chatpayload.h"

#include <QByteArray>

// Turns chat payloads into bytes and back. Decoding never reads past the end of what the broker
// delivered: a payload shorter than its fixed fields or than the lengths it announces is refused
// as a whole rather than read in part.
class PayloadCodec
{
public:
    static QByteArray encode(const ChatPayload& payload);

    // Fills `out` and returns true when the payload is complete. The head (time and type) needs
    // 9 bytes; types this client does not handle and LOGOUT are decoded from the head alone, so
    // that the caller can log them. On false, `out` holds the head when there was one
    // (`messageType` stays 0 otherwise) and nothing of the rest.
    static bool decode(const QByteArray& bytes, ChatPayload* out);
};
