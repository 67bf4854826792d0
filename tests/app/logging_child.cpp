// Child process for the logging tests: quiet as the program starts, then the file log switched on.
//   warning|fatal: one message of that level; off: switched off again, then one warning;
//   threads: kThreads threads each sending kLines long lines, rotating the log several times.
#include "app/logging.h"

#include <QCoreApplication>

#include <thread>
#include <vector>

namespace {
constexpr int kThreads = 4;
constexpr int kLines = 1000;
constexpr int kPadding = 1100;
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("LoggingChild"));
    qInstallMessageHandler(MtLog::quietMessageHandler);
    toggleFileLogging();
    const QString mode = app.arguments().value(1);
    if (mode == QLatin1String("off"))
        toggleFileLogging();
    if (mode == QLatin1String("fatal"))
        qFatal("fatal message from the child");
    if (mode != QLatin1String("threads")) {
        qWarning("warning message from the child");
        return 0;
    }
    const QByteArray padding(kPadding, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &padding] {
            for (int n = 0; n < kLines; ++n)
                qWarning("thread %d line %d %s end", t, n, padding.constData());
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    return 0;
}
