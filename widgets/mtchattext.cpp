#include "widgets/mtchattext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QStringList>

namespace {

QString escaped(QString word)
{
    // The ampersand goes first, so a typed "&lt;" stays visible as typed.
    word.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    word.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    word.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return word;
}

QString anchor(const QString& target, const QString& text)
{
    return QStringLiteral("<a href=\"") + target + QStringLiteral("\" style=\"") +
           MtChatText::linkStyle() + QStringLiteral("\">") + text + QStringLiteral("</a>");
}

} // namespace

const QRegularExpression& MtChatText::webAddressExpression()
{
    static const QString userChar = QStringLiteral(
        "(?:[a-zA-Z0-9\\$\\-\\_\\.\\+\\!\\*\\'\\(\\)\\,\\;\\?\\&\\=]|(?:\\%[a-fA-F0-9]{2}))");
    static const QString scheme =
        QStringLiteral("(?:(?:http|https|Http|Https|rtsp|Rtsp):\\/\\/(?:") + userChar +
        QStringLiteral("{1,64}(?:\\:") + userChar + QStringLiteral("{1,25})?\\@)?)?");
    static const QString topLevel = QStringLiteral(
        "(?:aero|arpa|asia|biz|cat|com|coop|edu|gov|info|int|jobs|mil|mobi|museum|name|net|org|"
        "pro|tel|travel|app|blog|cloud|dev|design|online|page|shop|site|store|tech|xyz|top|kr|"
        "[a-zA-Z]{2})(?![a-zA-Z0-9\\-])");
    static const QString host =
        QStringLiteral("(?:(?:[a-zA-Z0-9][a-zA-Z0-9\\-]{0,64}\\.)+") + topLevel + QLatin1Char(')');
    static const QString octet =
        QStringLiteral("(?:25[0-5]|2[0-4][0-9]|[0-1][0-9]{2}|[1-9][0-9]|[0-9])");
    static const QString ipv4 = QStringLiteral("(?:") + octet + QStringLiteral("\\.") + octet +
                                QStringLiteral("\\.") + octet + QStringLiteral("\\.") + octet +
                                QStringLiteral("(?![0-9]))");
    static const QString path =
        QStringLiteral("(?:\\/(?:(?:[a-zA-Z0-9\\;\\/"
                       "\\?\\:\\@\\&\\=\\#\\~\\-\\.\\+\\!\\*\\'\\(\\)\\,\\_])|(?:\\%[a-"
                       "fA-F0-9]{2}))*)?");
    static const QRegularExpression expression(
        scheme + QStringLiteral("(?:") + host + QLatin1Char('|') + ipv4 +
        QStringLiteral(")(?:\\:\\d{1,5})?") + path + QStringLiteral("(?:\\b|$)"));
    return expression;
}

QString MtChatText::ahrefMessage(const QString& content)
{
    QString html = QStringLiteral("<div>");
    const QStringList lines = content.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QStringList words = line.split(QLatin1Char(' '));
        for (const QString& raw : words) {
            QString word = escaped(raw.trimmed());
            QString searched = word;
            if (searched.endsWith(QLatin1Char('/')))
                searched.chop(1);
            const QRegularExpressionMatch match = webAddressExpression().match(searched);
            if (match.hasMatch() && match.capturedLength() > 0) {
                const int index = match.capturedStart();
                const int length = match.capturedLength();
                qDebug().noquote().nospace() << "MtChatBaseItem::ahrefMessage() index : " << index
                                             << ", endIndex : " << length;
                const QString address = match.captured();
                word.replace(index, length,
                             QStringLiteral("<a href=\"") + address + QStringLiteral("\">") +
                                 address + QStringLiteral("</a>"));
            }
            html += word + QLatin1Char(' ');
        }
        html += QLatin1Char('\n');
    }
    if (html.endsWith(QLatin1Char('\n')))
        html.chop(1);
    html += QStringLiteral("</div>");
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

QString MtChatText::timeText(const QTime& time, const QLocale& locale)
{
    const bool korean = locale.language() == QLocale::Korean;
    return locale.toString(time, korean ? QStringLiteral("ap hh:mm") : QStringLiteral("hh:mm ap"));
}

QString MtChatText::dateText(const QDate& date, const QLocale& locale)
{
    // One text, so that the translation puts the year, month, day and weekday in its order.
    const QString text =
        QCoreApplication::translate("MtChatDateItem", "%1-%2-%3 %4",
                                    "the date row: year, month and day numbers, weekday name")
            .arg(QString::number(date.year()), QString::number(date.month()),
                 QString::number(date.day()), locale.toString(date, QStringLiteral("dddd")));
    return QStringLiteral(" %1 ").arg(text);
}

QString MtChatText::linkStyle()
{
    return QStringLiteral("text-decoration: none; color : rgb(38,38,38);");
}

QString MtChatText::readCountLink(const QString& messageId, int count)
{
    if (count <= 0)
        return QString();
    return anchor(messageId.toHtmlEscaped(), readCountText(count));
}

QString MtChatText::readCountText(int count)
{
    if (count <= 0)
        return QString();
    return QCoreApplication::translate("MtChatBaseItem", "%n Read",
                                       "how many members have read a message", count);
}

QString MtChatText::linkLine(bool fileExists)
{
    if (fileExists) {
        return anchor(QStringLiteral("open"),
                      QCoreApplication::translate("MtChatBaseItem", "Open")) +
               QStringLiteral(" | ") +
               anchor(QStringLiteral("openFolder"),
                      QCoreApplication::translate("MtChatBaseItem", "Open folder"));
    }
    return anchor(QStringLiteral("save"), QCoreApplication::translate("MtChatBaseItem", "Save")) +
           QStringLiteral(" | ") +
           anchor(QStringLiteral("saveAs"),
                  QCoreApplication::translate("MtChatBaseItem", "Save as"));
}
