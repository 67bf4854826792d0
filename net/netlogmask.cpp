#include "net/netlogmask.h"

QString NetLogMask::secret(const QString& value)
{
    if (value.isEmpty())
        return QStringLiteral("(empty)");
    return QStringLiteral("****(%1 chars)").arg(value.size());
}
