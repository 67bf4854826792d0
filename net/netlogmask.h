#pragma once

#include <QString>

// Credentials (the password digest, the access key) never reach a log line in clear: log lines
// that must mention one show this form instead, which keeps only the length, enough to tell an
// empty value or a wrongly encoded one from a good one.
class NetLogMask
{
public:
    static QString secret(const QString& value);
};
