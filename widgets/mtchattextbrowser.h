#pragma once

#include <QTextBrowser>

class MtTextHighlighter;

// The message body of a text bubble: read-only rich text with linked web addresses, as wide as
// its longest line allows and exactly as tall as its text, so the bubble hugs the message.
class MtChatTextBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    explicit MtChatTextBrowser(QWidget* parent = nullptr);

    // Shows the message and limits the width to its widest line.
    void setMessage(const QString& content);
    int documentHeight() const;
    // Wraps the document at the present width of the box.
    void fitDocumentToWidth();
    // The widest line of `content` in this font, with the document margins and one average
    // character of slack.
    int widestLine(const QString& content) const;

    void setHighlight(const QString& text);
    void removeHighlight();
    bool hasSelection() const;
    void clearSelection();
    // Copies the selection (and clears it), or else the whole text (leaving the cursor at the end).
    void copyText();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void documentHeightChanged(int height);

private:
    void documentSizeChanged();

    MtTextHighlighter* m_highlighter = nullptr;
    int m_lastHeight = -1;
};
