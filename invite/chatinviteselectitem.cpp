#include "invite/chatinviteselectitem.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

ChatInviteSelectItem::ChatInviteSelectItem(const DBUser& user, QWidget* parent)
    : QWidget(parent), m_user(user), m_selectUserNamelabel(new QLabel(this)),
      m_removeBtn(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 2, 4, 2);
    layout->setSpacing(4);
    m_selectUserNamelabel->setObjectName(QStringLiteral("selectUserNamelabel"));
    // A directory name is shown as it is, never as markup.
    m_selectUserNamelabel->setTextFormat(Qt::PlainText);
    m_selectUserNamelabel->setText(user.userName());
    m_removeBtn->setObjectName(QStringLiteral("removeBtn"));
    m_removeBtn->setIcon(QIcon(QStringLiteral(":/images/invite_cancel2.png")));
    m_removeBtn->setAutoRaise(true);
    m_removeBtn->setToolTip(tr("Remove"));
    m_removeBtn->setAccessibleName(tr("Remove %1").arg(user.userName()));
    layout->addWidget(m_selectUserNamelabel, 1);
    layout->addWidget(m_removeBtn);
    connect(m_removeBtn, &QToolButton::clicked, this, [this]() { emit removeItem(m_user); });
}

QString ChatInviteSelectItem::text() const
{
    return m_selectUserNamelabel->text();
}
