#pragma once

#include <QStyledItemDelegate>

class InvitePictures;

// Paints one person of the members and readers lists (55 high): a 45-pixel round picture, the
// name in bold and the department, both elided and drawn as plain text; white, light blue under
// the mouse, darker blue while pressed.
class ChatMemberDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int kRowHeight = 55;
    static constexpr int kPictureSize = 45;

    ChatMemberDelegate(InvitePictures* pictures, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    InvitePictures* m_pictures;
};
