// Turns the start with the system on, as the settings switch does, from wherever this program
// lies: the autostart entry must name this very file. Exits 0 when the entry was written.
#include "platform/autorun.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return platformSetAutoRun(QStringLiteral("VeltriTalk"), true) ? 0 : 1;
}
