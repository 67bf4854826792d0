#pragma once

#include "store/dbchat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class QIODevice;

// Writes a conversation as a text file: UTF-8 with a byte order mark (editors on Windows read
// anything else as the local code page) and CR LF line ends, a header, a date line whenever
// the day changes, and one line per chat.
class ChatExportWriter
{
    Q_DECLARE_TR_FUNCTIONS(ChatExportWriter)
public:
    // The full text of a long text chat (read from its local file), or empty text when it is
    // not at hand: the chat is then written as its preview, ending in "...".
    using LongTextReader = std::function<QString(const DBChat&)>;

    ChatExportWriter(const QString& roomName, const QDateTime& savedAt, bool koreanTimes);
    void setLongTextReader(LongTextReader reader) { m_longText = std::move(reader); }

    // The whole file for `chats` (oldest first).
    QByteArray render(const QList<DBChat>& chats) const;
    // Writes render() to `device`; false when not every byte was written.
    bool write(QIODevice* device, const QList<DBChat>& chats) const;

    QString dateLine(const QDate& date) const;
    QString timeText(const QDateTime& time) const;
    QString body(const DBChat& chat) const;

private:
    QString m_roomName;
    QDateTime m_savedAt;
    bool m_korean;
    LongTextReader m_longText;
};
