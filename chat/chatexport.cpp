#include "chat/chatexport.h"

#include <QIODevice>
#include <QLocale>

namespace {
const QString kLineEnd = QStringLiteral("\r\n");
}

ChatExportWriter::ChatExportWriter(const QString& roomName, const QDateTime& savedAt,
                                   bool koreanTimes)
    : m_roomName(roomName), m_savedAt(savedAt), m_korean(koreanTimes)
{}

QString ChatExportWriter::dateLine(const QDate& date) const
{
    const QLocale locale = m_korean ? QLocale(QLocale::Korean) : QLocale(QLocale::English);
    const QString words =
        tr("%1year %2Month %3Day %4Week")
            .arg(date.toString(QStringLiteral("yyyy")), date.toString(QStringLiteral("M")),
                 date.toString(QStringLiteral("dd")), locale.toString(date, QStringLiteral("ddd")));
    return QStringLiteral("--------------- ") + words + QStringLiteral(" ---------------");
}

QString ChatExportWriter::timeText(const QDateTime& time) const
{
    const QLocale locale = m_korean ? QLocale(QLocale::Korean) : QLocale(QLocale::English);
    return locale.toString(time,
                           m_korean ? QStringLiteral("ap hh:mm") : QStringLiteral("hh:mm ap"));
}

QString ChatExportWriter::body(const DBChat& chat) const
{
    if (chat.msgType() == 3 || chat.msgType() == 4 || chat.msgType() == 5)
        return chat.toContentText();
    switch (chat.contentType()) {
    case 1:
        return chat.content();
    case 2:
        return tr("image");
    case 3:
        return tr("video");
    case 4: {
        if (chat.previewText().isEmpty())
            return tr("file %1").arg(chat.fileName());
        const QString full = m_longText ? m_longText(chat) : QString();
        if (!full.isEmpty())
            return full;
        // The text file is gone (or was never fetched): what the bubble showed of it stands in
        // for the text, marked as cut; the file behind it was never the user's.
        const QString dots = QStringLiteral("...");
        return chat.previewText().endsWith(dots) ? chat.previewText() : chat.previewText() + dots;
    }
    default:
        return chat.content();
    }
}

QByteArray ChatExportWriter::render(const QList<DBChat>& chats) const
{
    QString text;
    text += tr("Chat with %1 in Veltri Talk").arg(m_roomName) + kLineEnd;
    text += tr("Saved : %1").arg(m_savedAt.toString(QStringLiteral("yyyy-MM-dd h:m:s"))) +
            kLineEnd + kLineEnd;
    QDate lastDate;
    for (const DBChat& chat : chats) {
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(chat.msgTime());
        if (time.date() != lastDate) {
            lastDate = time.date();
            text += dateLine(lastDate) + kLineEnd;
        }
        QString line = body(chat);
        // Line breaks inside a chat keep the file's own line ends.
        line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        line.replace(QLatin1Char('\n'), kLineEnd);
        text += QLatin1Char('[') + chat.senderName() + QStringLiteral("] [") + timeText(time) +
                QStringLiteral("] ") + line + kLineEnd;
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

bool ChatExportWriter::write(QIODevice* device, const QList<DBChat>& chats) const
{
    const QByteArray bytes = render(chats);
    return device->write(bytes) == bytes.size();
}
