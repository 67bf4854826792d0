// Child of tst_logging: the file log switched on as the program does, then kThreads threads each
// sending kLines long lines, rotating the log several times.
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
