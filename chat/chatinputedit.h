#pragma once

#include <QPlainTextEdit>
#include <QStringList>

class QImage;
class QMimeData;

// The chat window's input box. What is pasted or dropped into it is sorted the way the user
// meant it: a picture (from an image viewer or a screenshot) is to be sent as a picture, files
// (from a file manager) are to be sent as files, and everything else becomes plain text in the
// box, never markup.
class ChatInputEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit ChatInputEdit(QWidget* parent = nullptr);

    // The text a paste of `source` puts into the box: its plain text, else the text of its
    // markup, else its addresses one a line.
    static QString plainText(const QMimeData* source);
    // The local files `source` names, in order.
    static QStringList localFiles(const QMimeData* source);

signals:
    void picturePasted(const QImage& picture);
    void filesPasted(const QStringList& paths);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};
