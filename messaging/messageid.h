#pragma once

#include <QString>

// Message ids: the session's client id, "-", the time in milliseconds since the epoch and the
// first four decimal digits of the performance counter (all of them when it has fewer). The
// client id prefix is how a session recognises its own messages coming back from the broker.
//
// The counter's leading digits hardly ever change, so ids made within one millisecond would
// collide and a stored chat would be overwritten by the next one. The time part is therefore
// kept strictly increasing across the process: a second id in the same millisecond takes the
// next millisecond. The format stays the same.
QString makeMessageId(const QString& clientId);

// The id for a given time and counter reading, without the uniqueness step.
QString formatMessageId(const QString& clientId, qint64 msecsSinceEpoch, qint64 counter);
