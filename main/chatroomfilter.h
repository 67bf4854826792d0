#pragma once

#include <QRegularExpression>
#include <QString>

// The room list's search: a room is shown when its display name contains a match of the text
// taken as a regular expression, in any case ("a.c" finds "abc"). A text that is no valid
// expression ("c++", "(") is looked for literally instead, so typing it never hides every room.
// The expression is compiled once per text, not once per row.
class ChatRoomFilter
{
public:
    explicit ChatRoomFilter(const QString& text = QString());

    QString text() const { return m_text; }
    // False when the text was taken literally.
    bool isExpression() const { return m_expression; }
    bool matches(const QString& roomName) const;

private:
    QString m_text;
    QRegularExpression m_pattern;
    bool m_expression = false;
};
