#pragma once

#include <QLoggingCategory>

// The lines written for every chat sent or received (and its read notices), from the send key
// to the bubble, and for every row a large answer stores (a login's thousand rooms). Their debug
// level is off unless the program's log is on (the log switch turns "mt.messages" on), so that a
// burst of thousands of chats or rooms formats none of them while nobody reads them; qCDebug
// skips the whole line when off.
Q_DECLARE_LOGGING_CATEGORY(lcMessageTrace)
