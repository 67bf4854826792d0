#pragma once

#include <QLoggingCategory>

// The lines written for every row a large answer stores (a room list of a thousand rooms).
// Their debug level is off unless the program's log is on: the log switch turns "mt.messages"
// on, and this category shares the name, so that a login formats none of them while nobody
// reads them; qCDebug skips the whole line when off.
Q_DECLARE_LOGGING_CATEGORY(lcStoreTrace)
