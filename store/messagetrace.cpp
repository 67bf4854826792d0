#include "store/messagetrace.h"

Q_LOGGING_CATEGORY(lcMessageTrace, "mt.messages", QtInfoMsg)
