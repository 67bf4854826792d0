#pragma once

#include <QStyledItemDelegate>

class InvitePictures;

// Paints one person of the invitation list (220 by 66): check mark, round picture, name,
// department and, for people who cannot be chosen, why. Every text is drawn as plain text.
class InviteUserDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int kRowWidth = 220;
    static constexpr int kRowHeight = 66;

    InviteUserDelegate(InvitePictures* pictures, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The status line of a person who cannot be chosen; empty for the others and for members.
    static QString statusText(int availability);

private:
    InvitePictures* m_pictures;
};
