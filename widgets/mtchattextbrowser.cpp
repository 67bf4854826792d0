#include "widgets/mtchattextbrowser.h"

#include "widgets/mtchattext.h"
#include "widgets/mttexthighlighter.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QtMath>

namespace {
constexpr int kDocumentMargin = 4;
constexpr int kMinimumWidth = 40;
} // namespace

MtChatTextBrowser::MtChatTextBrowser(QWidget* parent) : QTextBrowser(parent)
{
    setReadOnly(true);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setContextMenuPolicy(Qt::NoContextMenu);
    // No keyboard selection: a focused bubble would otherwise show a text cursor.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setStyleSheet(QStringLiteral("QTextBrowser { background: transparent; color: #262626; border: "
                                 "none; font-size: 10pt; }"));
    viewport()->setAutoFillBackground(false);
    document()->setDocumentMargin(kDocumentMargin);
    document()->setDefaultStyleSheet(
        QStringLiteral("a { color: #1f5fd1; text-decoration: underline; }"));
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &MtChatTextBrowser::documentSizeChanged);
}

int MtChatTextBrowser::widestLine(const QString& content) const
{
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& line : content.split(QLatin1Char('\n')))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return widest + 2 * int(document()->documentMargin()) + metrics.averageCharWidth();
}

void MtChatTextBrowser::setMessage(const QString& content)
{
    // The style sheet sets the message font; widths are measured in it.
    ensurePolished();
    const QFontMetrics metrics(font());
    const int lines = int(content.count(QLatin1Char('\n'))) + 1;
    setMaximumWidth(qMax(kMinimumWidth, widestLine(content)));
    setMaximumHeight(metrics.lineSpacing() * lines + 18);
    // A first height at the widest width; the real one follows once the layout places us.
    document()->setTextWidth(maximumWidth());
    setHtml(MtChatText::ahrefMessage(content));
    documentSizeChanged();
}

int MtChatTextBrowser::documentHeight() const
{
    return qCeil(document()->size().height());
}

void MtChatTextBrowser::fitDocumentToWidth()
{
    document()->setTextWidth(viewport()->width());
}

void MtChatTextBrowser::documentSizeChanged()
{
    const int height = documentHeight();
    if (height == m_lastHeight)
        return;
    m_lastHeight = height;
    setFixedHeight(height);
    updateGeometry();
    emit documentHeightChanged(height);
}

QSize MtChatTextBrowser::sizeHint() const
{
    return QSize(maximumWidth(), documentHeight());
}

QSize MtChatTextBrowser::minimumSizeHint() const
{
    return QSize(qMin(kMinimumWidth, maximumWidth()), documentHeight());
}

void MtChatTextBrowser::setHighlight(const QString& text)
{
    if (!m_highlighter)
        m_highlighter = new MtTextHighlighter(document());
    m_highlighter->setSearchText(text);
}

void MtChatTextBrowser::removeHighlight()
{
    if (m_highlighter)
        m_highlighter->setSearchText(QString());
}

bool MtChatTextBrowser::hasSelection() const
{
    return textCursor().hasSelection();
}

void MtChatTextBrowser::clearSelection()
{
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return;
    cursor.clearSelection();
    setTextCursor(cursor);
}

void MtChatTextBrowser::copyText()
{
    const bool partial = hasSelection();
    if (!partial)
        selectAll();
    // The rich text pads every word with a space; the copy gives the lines as they were typed.
    QString text = textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
    QTextCursor cursor = textCursor();
    if (partial) {
        cursor.clearSelection();
    } else {
        cursor.movePosition(QTextCursor::End);
    }
    setTextCursor(cursor);
}
