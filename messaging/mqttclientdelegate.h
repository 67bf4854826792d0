#pragma once

#include "messaging/mqttmessage.h"

#include <QList>

namespace QMQTT {

// Receives the broker's messages on the client's delivery thread, in arrival order. That thread
// is never the GUI thread, so the delegate may do blocking work (store writes) per message; the
// next messages wait until the call returns.
class ClientDelegate
{
public:
    virtual ~ClientDelegate() = default;
    // Once, on the delivery thread, before the first message: the place to open what the
    // thread needs for itself, such as its own database connection.
    virtual void onDeliveryThreadStarted() = 0;
    // Once per received PUBLISH, after the client has acknowledged it to the broker (through
    // onMessagesDelivered(), unless a delegate takes its batches itself).
    virtual void onMessageDelivered(const Message& message) = 0;
    // Every message that had arrived when the delivery thread was ready for more (at most
    // DeliveryThread::kMaxBatch, at least one), in arrival order. A delegate that can handle
    // several messages at once more cheaply than one by one (one store transaction for all of
    // them) overrides this; by default each goes to onMessageDelivered() in turn.
    virtual void onMessagesDelivered(const QList<Message>& messages)
    {
        for (const Message& message : messages)
            onMessageDelivered(message);
    }
    // Once, on the delivery thread, while the client is being destroyed and after the last
    // delivery: the place to close what onDeliveryThreadStarted() opened, on its own thread.
    virtual void onDeliveryThreadFinished() {}
};

} // namespace QMQTT
