#pragma once

#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

// Marks every match of the search text in a message (blue background, light text). The search
// text is used as a regular expression, as the search box has always done.
class MtTextHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    explicit MtTextHighlighter(QTextDocument* document);

    void setSearchText(const QString& text);
    QString searchText() const { return m_expression.pattern(); }
    QTextCharFormat format() const { return m_format; }

protected:
    void highlightBlock(const QString& text) override;

private:
    QRegularExpression m_expression;
    QTextCharFormat m_format;
};
