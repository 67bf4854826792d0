#include "platform/startupargs.h"

QByteArrayList platformStartupArguments()
{
    return {QByteArrayLiteral("sorvik")};
}
