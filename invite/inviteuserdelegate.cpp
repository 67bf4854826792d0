#include "invite/inviteuserdelegate.h"

#include "invite/invitefonts.h"
#include "invite/invitepictures.h"
#include "invite/inviteselection.h"
#include "invite/inviteusermodel.h"
#include "widgets/mtpicture.h"

#include <QPainter>
#include <QPixmapCache>

namespace {
constexpr int kCheckX = 10;
constexpr int kCheckSize = 20;
constexpr int kPictureX = 38;
constexpr int kPictureSize = 46;
constexpr int kTextX = kPictureX + kPictureSize + 10;

QPixmap checkPicture(bool checked, qreal ratio)
{
    const QString path = checked ? QStringLiteral(":/images/invite_checked.png")
                                 : QStringLiteral(":/images/invite_unchecked.png");
    const QString key = QStringLiteral("mt-invite-check:%1:%2").arg(path).arg(ratio);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = mtLoadPicture(path, ratio);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}
} // namespace

InviteUserDelegate::InviteUserDelegate(InvitePictures* pictures, QObject* parent)
    : QStyledItemDelegate(parent), m_pictures(pictures)
{}

QString InviteUserDelegate::statusText(int availability)
{
    switch (availability) {
    case InviteSelection::NotInstalled:
        return tr("Not Install");
    case InviteSelection::DeclinesChats:
        return tr("Decline Invite");
    default:
        return QString();
    }
}

QSize InviteUserDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(kRowWidth, kRowHeight);
}

void InviteUserDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    const QRect r = option.rect;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const bool checked = index.data(InviteUserModel::CheckedRole).toBool();
    const int availability = index.data(InviteUserModel::AvailabilityRole).toInt();
    const bool usable =
        availability == InviteSelection::Available || availability == InviteSelection::FixedMember;

    painter->save();
    painter->fillRect(r, (option.state & QStyle::State_Selected) ? QColor(QStringLiteral("#F4F4F4"))
                                                                 : QColor(Qt::white));
    const QPixmap check = checkPicture(checked, ratio);
    const QSize checkSize = check.isNull() ? QSize() : (QSizeF(check.size()) / ratio).toSize();
    painter->drawPixmap(QRect(QPoint(r.left() + kCheckX, r.center().y() - kCheckSize / 2),
                              checkSize.boundedTo(QSize(kCheckSize, kCheckSize))),
                        check);
    if (m_pictures) {
        const QPixmap picture = m_pictures->picture(
            index.data(InviteUserModel::ThumbUrlRole).toString(), kPictureSize, ratio);
        painter->drawPixmap(QRect(r.left() + kPictureX, r.center().y() - kPictureSize / 2,
                                  kPictureSize, kPictureSize),
                            picture);
    }

    // Names and departments come from the directory: drawn as plain text, never as markup.
    const int textWidth = qMax(0, r.right() - kTextX - 8);
    const QFont nameFont = inviteRowFont(10);
    const QFont smallFont = inviteRowFont(8);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics smallMetrics(smallFont);
    const QString status = statusText(availability);
    const int lines = nameMetrics.height() + smallMetrics.height() +
                      (status.isEmpty() ? 0 : smallMetrics.height());
    int y = r.top() + (r.height() - lines) / 2;

    painter->setFont(nameFont);
    painter->setPen(QColor(usable ? QStringLiteral("#000000") : QStringLiteral("#787878")));
    const QString name = index.data(InviteUserModel::UserNameRole).toString();
    painter->drawText(QRect(r.left() + kTextX, y, textWidth, nameMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      nameMetrics.elidedText(name, Qt::ElideRight, textWidth));
    y += nameMetrics.height();

    painter->setFont(smallFont);
    painter->setPen(QColor(QStringLiteral("#787878")));
    const QString dept = index.data(InviteUserModel::DeptNameRole).toString();
    painter->drawText(QRect(r.left() + kTextX, y, textWidth, smallMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      smallMetrics.elidedText(dept, Qt::ElideRight, textWidth));
    y += smallMetrics.height();
    if (!status.isEmpty()) {
        painter->drawText(QRect(r.left() + kTextX, y, textWidth, smallMetrics.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, status);
    }
    painter->restore();
}
