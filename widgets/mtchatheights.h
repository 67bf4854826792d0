#pragma once

#include <QFont>
#include <QHash>
#include <QTextDocument>

struct MtChatEntryData;
class MtChatBaseItem;
class MtChatTextBrowser;

// The height of a conversation row at a view width, without the row's own item. Every item type
// has one item that is never on screen; pictures, files and notices are filled into it and laid
// out. Text rows, the bulk of a conversation, cost only their text's layout: their height is the
// text's height plus what the bubble adds around it, learnt once per kind of row and width from
// that item (a short and a tall text), and the text wraps where the bubble would wrap it.
class MtChatHeights
{
public:
    // `font` and `styleSheet` are the view's: its items are laid out in them.
    MtChatHeights(const QFont& font, const QString& styleSheet);
    ~MtChatHeights();
    MtChatHeights(const MtChatHeights&) = delete;
    MtChatHeights& operator=(const MtChatHeights&) = delete;

    int height(const MtChatEntryData& data, int width);
    // A text row's height from its count of lines alone, without laying its text out: for rows
    // added by the thousand far from the viewport, measured properly later. Other rows are
    // measured.
    int estimate(const MtChatEntryData& data, int width);
    static bool isText(int type);

private:
    // How a kind of text row (type, "view all", read count shown, own state) turns the height
    // of its text into its own at one width.
    struct TextModel
    {
        int available = 0; // the widest the text box gets
        int shortHeight = 0;
        int tallHeight = 0;
        int tallText = 0;
    };

    MtChatBaseItem* measurer(int type);
    int laidOut(const MtChatEntryData& data, int width);
    const TextModel& textModel(const MtChatEntryData& data, int width);
    int textHeight(MtChatTextBrowser* box, const QString& text, int textWidth);

    QFont m_font;
    QString m_styleSheet;
    QHash<int, MtChatBaseItem*> m_measurers;
    QHash<QString, TextModel> m_models;
    QHash<int, int> m_dateHeights; // by width
    QTextDocument m_document;
    bool m_documentReady = false;
};
