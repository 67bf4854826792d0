#pragma once

struct MtChatEntryData;
class MtChatBaseItem;
class QWidget;

// Makes the item widget of a conversation row from its data, fills an existing one of the same
// type (the view measures heights with one item per type), and reads back what the window
// changed on a live item before the view lets it go.
class MtChatItemFactory
{
public:
    // Null for an unknown type.
    static MtChatBaseItem* create(int itemType, QWidget* parent);
    static void fill(MtChatBaseItem* item, const MtChatEntryData& data);
    static void readBack(const MtChatBaseItem* item, MtChatEntryData& data);
    // Whether the row's height depends on the view's width (text that wraps).
    static bool widthDependent(int itemType);
    // Lays the item out at `width` until its text has settled and returns its height.
    static int measure(MtChatBaseItem* item, int width);
};
