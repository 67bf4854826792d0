#pragma once

#include <QStringList>

#include <mutex>

// Keeps every log line of the process while installed, and passes each on to the handler that
// was installed before (Qt Test's, so that QTest::ignoreMessage goes on working).
class LogCapture
{
public:
    // Starts with no lines: those of an earlier recorder are gone.
    LogCapture()
    {
        clear();
        s_previous = qInstallMessageHandler(capture);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The lines that contain `text` (every line for an empty one).
    QStringList lines(const QString& text = QString()) const
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        return s_lines.filter(text);
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_lines.clear();
    }

private:
    static void capture(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        {
            std::lock_guard<std::mutex> lock(s_mutex);
            s_lines << message;
        }
        if (s_previous)
            s_previous(type, context, message);
    }

    static inline std::mutex s_mutex;
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};
