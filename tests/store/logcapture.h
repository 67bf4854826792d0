#pragma once

#include <QStringList>

// Keeps every log line of the process while installed, and passes each on to the handler that
// was installed before (Qt Test's, so that QTest::ignoreMessage goes on working).
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Lines that start with `prefix` (every line for an empty one).
    QStringList matching(const QString& prefix = QString()) const;
    void clear();
};
