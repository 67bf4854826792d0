// Turns autostart on from wherever this program lies; exits 0 when the entry was written.
#include "platform/autorun.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return platformSetAutoRun(QStringLiteral("VeltriTalk"), true) ? 0 : 1;
}
