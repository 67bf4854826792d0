#include "messaging/messagetrace.h"

Q_LOGGING_CATEGORY(lcMessageTrace, "mt.messages", QtInfoMsg)
