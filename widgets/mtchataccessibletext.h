#pragma once

#include <QCoreApplication>
#include <QLocale>
#include <QString>

class MtChatEntry;
struct MtChatEntryData;

// What a screen reader says for a row of the conversation: who wrote, when, what (the message,
// the file's name and size, "Picture"), and how far the message got (its read count, or that
// it is still being sent or failed). Computed when asked, so rows hold nothing for it.
class MtChatAccessibleText
{
    Q_DECLARE_TR_FUNCTIONS(MtChatAccessibleText)
public:
    // Qt::AccessibleTextRole of a row, from what it shows now (its item's present values when it
    // has one).
    static QString answer(const MtChatEntry& entry);

    // The row's name: "sender, time: what" with the read count or state after it; the notice's
    // text; the date of a date row.
    static QString name(const MtChatEntryData& data, const QLocale& locale = QLocale());
};
