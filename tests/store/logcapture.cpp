#include "logcapture.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QStringList g_lines;
QtMessageHandler g_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_lines << message;
    }
    if (g_previous)
        g_previous(type, context, message);
}
} // namespace

LogCapture::LogCapture()
{
    g_previous = qInstallMessageHandler(capture);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(g_previous);
}

QStringList LogCapture::matching(const QString& prefix) const
{
    std::lock_guard<std::mutex> lock(g_mutex);
    QStringList found;
    for (const QString& line : qAsConst(g_lines)) {
        if (line.startsWith(prefix))
            found << line;
    }
    return found;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.clear();
}
