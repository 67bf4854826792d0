#include "chat/chatinputedit.h"

#include <QImage>
#include <QMimeData>
#include <QTextDocumentFragment>
#include <QUrl>

ChatInputEdit::ChatInputEdit(QWidget* parent) : QPlainTextEdit(parent) {}

QString ChatInputEdit::plainText(const QMimeData* source)
{
    const QString text = source->text();
    if (!text.isEmpty())
        return text;
    const QString html = source->html();
    if (!html.isEmpty())
        return QTextDocumentFragment::fromHtml(html).toPlainText();
    QStringList addresses;
    for (const QUrl& url : source->urls())
        addresses << url.toString();
    return addresses.join(QLatin1Char('\n'));
}

QStringList ChatInputEdit::localFiles(const QMimeData* source)
{
    QStringList files;
    for (const QUrl& url : source->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    return files;
}

bool ChatInputEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasImage() || source->hasUrls() || QPlainTextEdit::canInsertFromMimeData(source);
}

void ChatInputEdit::insertFromMimeData(const QMimeData* source)
{
    // A picture first: an image viewer may name its file too, but the user copied the picture.
    const QImage picture = qvariant_cast<QImage>(source->imageData());
    if (!picture.isNull()) {
        emit picturePasted(picture);
        return;
    }
    const QStringList files = localFiles(source);
    if (!files.isEmpty()) {
        emit filesPasted(files);
        return;
    }
    insertPlainText(plainText(source));
}
