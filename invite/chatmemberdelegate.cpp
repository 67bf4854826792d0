#include "invite/chatmemberdelegate.h"

#include "invite/invitefonts.h"
#include "invite/invitepictures.h"
#include "invite/memberlistmodel.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QPainter>

ChatMemberDelegate::ChatMemberDelegate(InvitePictures* pictures, QObject* parent)
    : QStyledItemDelegate(parent), m_pictures(pictures)
{}

QSize ChatMemberDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(160, kRowHeight);
}

void ChatMemberDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    const QRect r = option.rect;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    const bool pressed = view && (QGuiApplication::mouseButtons() & Qt::LeftButton) &&
                         view->currentIndex() == index && (option.state & QStyle::State_MouseOver);
    QColor background(Qt::white);
    if (!(option.state & QStyle::State_Enabled))
        background = QColor(235, 235, 235);
    else if (pressed)
        background = QColor(177, 211, 232);
    else if (option.state & QStyle::State_MouseOver)
        background = QColor(206, 232, 255);

    painter->save();
    painter->fillRect(r, background);
    const QRect pictureRect(r.left() + 9, r.top() + (r.height() - kPictureSize) / 2, kPictureSize,
                            kPictureSize);
    if (m_pictures) {
        painter->drawPixmap(
            pictureRect, m_pictures->picture(index.data(MemberListModel::ThumbUrlRole).toString(),
                                             kPictureSize, ratio));
    }
    // Names and departments come from the directory: drawn as plain text, never as markup.
    const int textX = pictureRect.right() + 10;
    const int textWidth = qMax(0, r.right() - textX - 6);
    const QFont nameFont = inviteRowFont(10, true);
    const QFont deptFont = inviteRowFont(9, false);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics deptMetrics(deptFont);
    const int top = r.top() + (r.height() - nameMetrics.height() - deptMetrics.height()) / 2;
    painter->setPen(QColor(Qt::black));
    painter->setFont(nameFont);
    painter->drawText(QRect(textX, top, textWidth, nameMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      nameMetrics.elidedText(index.data(MemberListModel::UserNameRole).toString(),
                                             Qt::ElideRight, textWidth));
    painter->setPen(QColor(0x78, 0x78, 0x78));
    painter->setFont(deptFont);
    painter->drawText(QRect(textX, top + nameMetrics.height(), textWidth, deptMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      deptMetrics.elidedText(index.data(MemberListModel::DeptNameRole).toString(),
                                             Qt::ElideRight, textWidth));
    painter->restore();
}
