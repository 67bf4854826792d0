#include "app/logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace MtLog {
namespace {
std::atomic<bool> g_fileLogging{false};
// The request engine's workers and the messaging thread log too: one line at a time is formatted,
// written and rotated, so that no line is cut and no two threads rotate the same file.
std::mutex g_fileMutex;
// Qt may warn from inside the handler (a file call gone wrong); such a message must not wait for
// the lock its own thread holds.
thread_local bool t_inFileHandler = false;

const char* levelWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "Debug";
    case QtWarningMsg:
        return "Warning";
    case QtCriticalMsg:
        return "Critical";
    case QtFatalMsg:
        return "Fatal";
    default:
        return "Unknown";
    }
}

// The handler must not log through Qt itself (that would re-enter it), so its own complaints go
// straight to standard error.
void reportToStderr(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fprintf(stderr, "%s\n", bytes.constData());
    std::fflush(stderr);
}
} // namespace

bool isFileLogging()
{
    return g_fileLogging.load();
}

QString formatLine(const QDateTime& time, QtMsgType type, const QMessageLogContext& context,
                   const QString& msg)
{
    const QString file = context.file
                             ? QFileInfo(QString::fromLocal8Bit(context.file)).completeBaseName()
                             : QString();
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QLatin1Char(' ') +
           QLatin1String(levelWord(type)) + QLatin1Char(' ') + file + QLatin1Char(':') +
           QString::number(context.line) + QLatin1Char(' ') + msg;
}

QString logDirectory()
{
    return QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation).value(0) +
           QStringLiteral("/logs");
}

QString logFilePath(const QString& directory, const QDate& date)
{
    return directory + QStringLiteral("/log_") + date.toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral(".txt");
}

QString rotateIfNeeded(const QString& directory, const QDate& date)
{
    const QString logFile = logFilePath(directory, date);
    const QFileInfo info(logFile);
    if (!info.exists() || info.size() <= kMaxLogFileSize)
        return QString();

    const QString plain = directory + QStringLiteral("/log_") +
                          date.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".bak");
    QString backup = plain;
    if (QFile::exists(plain)) {
        for (int i = 0; i < 1000; ++i) {
            const QString candidate =
                plain + QLatin1Char('.') + QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
            if (!QFile::exists(candidate)) {
                backup = candidate;
                break;
            }
        }
    }
    // A rename keeps the log whole: when it fails (QFile falls back to copy and delete, and undoes
    // the copy when the delete fails) the log stays where it was and goes on growing, rather than
    // being deleted without a copy.
    if (QFile::exists(backup) && !QFile::remove(backup)) {
        reportToStderr(QStringLiteral("failed to remove old log backup ") + backup);
        return QString();
    }
    QFile log(logFile);
    if (!log.rename(backup)) {
        reportToStderr(QStringLiteral("failed to rotate log file ") + logFile +
                       QStringLiteral(" to ") + backup + QStringLiteral(": ") + log.errorString());
        return QString();
    }
    return backup;
}

bool appendLine(const QString& directory, const QDate& date, const QString& line)
{
    QDir().mkpath(directory);
    rotateIfNeeded(directory, date);
    QFile file(logFilePath(directory, date));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        reportToStderr(QStringLiteral("failed to open log file ") + file.fileName());
        return false;
    }
    const QByteArray bytes = (line + QStringLiteral("\r\n")).toLocal8Bit();
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written;
}

void quietMessageHandler(QtMsgType, const QMessageLogContext&, const QString&)
{
    g_fileLogging = false;
}

void fileMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    g_fileLogging = true;
    if (t_inFileHandler) {
        reportToStderr(msg);
        return;
    }
    t_inFileHandler = true;
    std::lock_guard<std::mutex> lock(g_fileMutex);
    const QDateTime now = QDateTime::currentDateTime();
    const QString line = formatLine(now, type, context, msg);
    reportToStderr(line);
    if (type == QtFatalMsg)
        std::abort();
    appendLine(logDirectory(), now.date(), line);
    t_inFileHandler = false;
}

} // namespace MtLog

void toggleFileLogging()
{
    if (!MtLog::isFileLogging())
        qInstallMessageHandler(MtLog::fileMessageHandler);
    else
        qInstallMessageHandler(MtLog::quietMessageHandler);
    // The handlers set the flag themselves on their next message; set it now so that the settings
    // dialog shows the new state at once.
    MtLog::g_fileLogging = !MtLog::isFileLogging();
    // Per-message lines are formatted only while someone keeps them.
    QLoggingCategory::setFilterRules(
        MtLog::isFileLogging() ? QStringLiteral("mt.messages.debug=true") : QString());
}
