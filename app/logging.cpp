#include "app/logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace MtLog {
namespace {
std::atomic<bool> g_fileLogging{false};

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
    QFile::remove(backup);
    QFile::copy(logFile, backup);
    QFile::remove(logFile);
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
    const QDateTime now = QDateTime::currentDateTime();
    const QString line = formatLine(now, type, context, msg);
    reportToStderr(line);
    if (type == QtFatalMsg)
        std::abort();
    appendLine(logDirectory(), now.date(), line);
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
}
