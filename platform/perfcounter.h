#pragma once

#include <QtGlobal>

// A high-resolution tick count that only ever grows; message ids take digits from it so that two
// ids made in the same millisecond still differ.
qint64 platformPerformanceCounter();
