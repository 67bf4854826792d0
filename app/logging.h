#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

// The program's diagnostic log. By default every message is dropped (the quiet handler); a hidden
// switch in the settings installs the file handler, which writes each line to standard error and
// to a daily file in the "logs" folder of the application data directory.
namespace MtLog {

// The size a log file may reach; one byte more and it is moved to a backup before the next line.
constexpr qint64 kMaxLogFileSize = 1048576;

void quietMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& msg);
void fileMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& msg);

// True while the file handler is installed.
bool isFileLogging();

// The pieces of the file handler, exposed so that each rule can be checked on its own.
QString formatLine(const QDateTime& time, QtMsgType type, const QMessageLogContext& context,
                   const QString& msg);
QString logDirectory();
QString logFilePath(const QString& directory, const QDate& date);
// Moves the day's log to its backup when it is larger than kMaxLogFileSize; returns the backup
// name used, or an empty text when nothing was rotated. A backup that cannot be written leaves
// the log in place (reported on standard error).
QString rotateIfNeeded(const QString& directory, const QDate& date);
// Appends one line (with "\r\n") to the day's log in the directory; false when it cannot be
// written. Not serialised: the file handler holds the lock around it.
bool appendLine(const QString& directory, const QDate& date, const QString& line);

} // namespace MtLog

// Swaps the quiet and the file handler and flips the logging flag.
void toggleFileLogging();
