#include "widgets/mttexthighlighter.h"

MtTextHighlighter::MtTextHighlighter(QTextDocument* document) : QSyntaxHighlighter(document)
{
    m_format.setBackground(QBrush(QColor(0x1f, 0x5f, 0xd1)));
    m_format.setForeground(QBrush(QColor(0xf0, 0xf0, 0xf0)));
}

void MtTextHighlighter::setSearchText(const QString& text)
{
    m_expression.setPattern(text);
    rehighlight();
}

void MtTextHighlighter::highlightBlock(const QString& text)
{
    // An empty or broken expression marks nothing; empty matches would never advance.
    if (m_expression.pattern().isEmpty() || !m_expression.isValid())
        return;
    QRegularExpressionMatchIterator it = m_expression.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (match.capturedLength() > 0)
            setFormat(match.capturedStart(), match.capturedLength(), m_format);
    }
}
