// Child process for the logging tests: installs the file handler and sends one message of the
// level named on the command line, so the parent can watch standard error and the log folder.
#include "app/logging.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("LoggingChild"));
    qInstallMessageHandler(MtLog::fileMessageHandler);
    if (app.arguments().value(1) == QLatin1String("fatal"))
        qFatal("fatal message from the child");
    qWarning("warning message from the child");
    return 0;
}
