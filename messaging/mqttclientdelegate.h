#pragma once

#include "messaging/mqttmessage.h"

#include <QList>

namespace QMQTT {

// Receives the broker's messages on the client's delivery thread, in arrival order. That thread
// is never the GUI thread, so the delegate may do blocking work (store writes) per message; the
// next messages wait until the call returns. A message is acknowledged to the broker only after
// the delegate has taken it (onMessagesDelivered() returned true for it and for every message
// before it) and made it durable (onMessagesDurable() returned true after that), so what the
// delegate keeps is never lost with the process.
class ClientDelegate
{
public:
    virtual ~ClientDelegate() = default;
    // Once, on the delivery thread, before the first message: the place to open what the
    // thread needs for itself, such as its own database connection.
    virtual void onDeliveryThreadStarted() = 0;
    // Once per received PUBLISH, before the client acknowledges it to the broker (through
    // onMessagesDelivered(), unless a delegate takes its batches itself).
    virtual void onMessageDelivered(const Message& message) = 0;
    // Every message that had arrived when the delivery thread was ready for more (at most
    // DeliveryThread::kMaxBatch, at least one), in arrival order. A delegate that can handle
    // several messages at once more cheaply than one by one (one store transaction for all of
    // them) overrides this; by default each goes to onMessageDelivered() in turn.
    //
    // True when the delegate has taken the whole batch (stored what it keeps): the messages may
    // be acknowledged. False when it could keep none of them (its store cannot write) and wants
    // the same batch again later; nothing of the attempt may have been handed on then.
    virtual bool onMessagesDelivered(const QList<Message>& messages)
    {
        for (const Message& message : messages)
            onMessageDelivered(message);
        return true;
    }
    // On the client's durability thread, a thread of its own, so that the delivery of what
    // arrives meanwhile never waits for it: what the delegate has taken (every batch for which
    // onMessagesDelivered() has returned true so far) is about to be acknowledged: true once it
    // survives a crash of the process. The client asks for it once per run of batches (when it
    // has caught up with what arrived, or has taken DeliveryThread::kMaxUndurable messages), not
    // per batch, because making writes durable (a sync of the disk) costs far more than taking
    // them. False keeps every message since the last true unacknowledged and asks again later.
    virtual bool onMessagesDurable() { return true; }
    // On the durability thread, after onMessagesDurable() returned true and the run was let go to
    // be acknowledged; `caughtUp` when no message waited behind it. The place for upkeep that
    // must delay neither the window nor the acknowledgements (a checkpoint of the store's log).
    virtual void onMessagesSettled(bool caughtUp) { Q_UNUSED(caughtUp) }
    // Once each on the durability thread, before its first and after its last call: the place
    // to open and close what that thread needs for itself.
    virtual void onDurabilityThreadStarted() {}
    virtual void onDurabilityThreadFinished() {}
    // Once, on the delivery thread, while the client is being destroyed and after the last
    // delivery: the place to close what onDeliveryThreadStarted() opened, on its own thread.
    virtual void onDeliveryThreadFinished() {}
};

} // namespace QMQTT
