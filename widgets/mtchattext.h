#pragma once

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QString>
#include <QTime>

// What the conversation items show as text, computed apart from the widgets: the message as
// rich text with its web addresses linked, the time and date labels, the read count and the
// open/save links of attachments.
class MtChatText
{
public:
    // The classic web-address pattern: optional scheme (http, https, rtsp, also capitalised),
    // optional user and password, a host name ending in a known top-level domain or an IPv4
    // address, optional port and path.
    static const QRegularExpression& webAddressExpression();

    // The message as rich text: typed tags are shown as typed, the first web address of every
    // word is a link (a "/" ending the word stays outside the link), lines become "<br>".
    static QString ahrefMessage(const QString& content);

    // "ap hh:mm" in Korean, "hh:mm ap" otherwise.
    static QString timeText(const QTime& time, const QLocale& locale = QLocale());
    // The date separator: " 2024-3-5 Tuesday " as the translation orders it (" 2024년 3월 5일
    // 화요일 " in Korean), the weekday in the locale's language.
    static QString dateText(const QDate& date, const QLocale& locale = QLocale());

    // The read count of an own message: a link to the readers' list (the target is the message
    // id), empty for no readers.
    static QString readCountLink(const QString& messageId, int count);
    // The read count of another member's message, empty for no readers.
    static QString readCountText(int count);

    // The line under a picture or file: Open | Open folder once the file is on disk, else
    // Save | Save as.
    static QString linkLine(bool fileExists);

    static QString linkStyle();
};
