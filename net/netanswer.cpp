#include "net/netanswer.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

namespace {
const int kPreviewBytes = 64;
// Masking looks a little further than the preview, so that a credential value that begins
// inside the preview is recognised by its whole key.
const int kMaskedBytes = 1024;
} // namespace

NetAnswer NetAnswer::read(const QByteArray& body, const char* where, const QString& id)
{
    NetAnswer answer;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    answer.m_readable = error.error == QJsonParseError::NoError && document.isObject();
    if (answer.m_readable) {
        answer.m_object = document.object();
        return answer;
    }
    qWarning().noquote().nospace() << where << " - unreadable answer " << id << ": " << body.size()
                                   << " bytes: " << preview(body);
    return answer;
}

QString NetAnswer::preview(const QByteArray& body)
{
    // Latin-1 keeps one character per byte, so the cut below counts bytes; the size is given,
    // as a NUL byte would otherwise end the text.
    const QByteArray head = body.left(kMaskedBytes);
    QString text = QString::fromLatin1(head.constData(), head.size());
    static const QRegularExpression credential(
        QStringLiteral(
            R"re(("[^"]*(?:key|passw|token|secret|clientid|client_id)[^"]*"\s*:\s*")[^"]*)re"),
        QRegularExpression::CaseInsensitiveOption);
    text.replace(credential, QStringLiteral("\\1****"));
    text.truncate(kPreviewBytes);
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            c = QLatin1Char('.');
    }
    return text;
}
