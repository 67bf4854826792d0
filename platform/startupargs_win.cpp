#include "platform/startupargs.h"

QByteArrayList platformStartupArguments()
{
    return {QByteArrayLiteral("sorvik"), QByteArrayLiteral("-platform"),
            QByteArrayLiteral("windows:dpiawareness=0")};
}
