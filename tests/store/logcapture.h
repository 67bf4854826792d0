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

    QStringList lines() const;
    // Lines that start with `prefix`.
    QStringList matching(const QString& prefix) const;
    void clear();
};
