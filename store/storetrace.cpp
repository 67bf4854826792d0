#include "store/storetrace.h"

Q_LOGGING_CATEGORY(lcStoreTrace, "mt.messages", QtInfoMsg)
