#include "common/childprocess.h"

#include <QProcess>

void ChildProcess::stop(QProcess& process, int graceMs)
{
    process.terminate();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished(5000);
    }
}
