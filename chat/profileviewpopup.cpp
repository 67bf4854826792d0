#include "chat/profileviewpopup.h"

#include "store/dbuser.h"
#include "widgets/mtpicture.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

ProfileViewPopup::ProfileViewPopup(const DBUser& user, const QPixmap& picture, QWidget* parent)
    : QFrame(parent, Qt::Tool | Qt::FramelessWindowHint), m_userId(user.userId())
{
    setObjectName(QStringLiteral("ProfileViewPopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(QStringLiteral("#ProfileViewPopup { background: white; border: 1px solid "
                                 "#B4B4B4; } QToolButton { border: none; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 8, 8, 16);
    auto* top = new QHBoxLayout;
    top->addStretch();
    auto* closeButton = new QToolButton(this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setIcon(QIcon(QStringLiteral(":/images/dialog_close_p.png")));
    closeButton->setAccessibleName(tr("Close"));
    top->addWidget(closeButton);
    layout->addLayout(top);

    m_pictureButton = new QToolButton(this);
    m_pictureButton->setObjectName(QStringLiteral("pictureButton"));
    m_pictureButton->setIconSize(QSize(96, 96));
    const QPixmap shown =
        picture.isNull() ? QPixmap(QStringLiteral(":/images/profile_x2.png")) : picture;
    m_pictureButton->setIcon(QIcon(mtRoundPicture(shown, QSize(96, 96), devicePixelRatioF())));
    m_pictureButton->setAccessibleName(tr("Picture of %1").arg(user.userName()));
    layout->addWidget(m_pictureButton, 0, Qt::AlignHCenter);

    // Directory texts are shown as they are, never as markup.
    m_nameLabel = new QLabel(user.userName(), this);
    m_nameLabel->setObjectName(QStringLiteral("nameLabel"));
    m_nameLabel->setTextFormat(Qt::PlainText);
    m_nameLabel->setStyleSheet(QStringLiteral("font-weight: bold; font-size: 11pt;"));
    layout->addWidget(m_nameLabel, 0, Qt::AlignHCenter);
    m_accountLabel = new QLabel(user.deptName(), this);
    m_accountLabel->setObjectName(QStringLiteral("userIdlabel"));
    m_accountLabel->setTextFormat(Qt::PlainText);
    m_accountLabel->setStyleSheet(QStringLiteral("color: grey;"));
    layout->addWidget(m_accountLabel, 0, Qt::AlignHCenter);

    m_chatButton = new QToolButton(this);
    m_chatButton->setObjectName(QStringLiteral("chatButton"));
    m_chatButton->setIcon(QIcon(QStringLiteral(":/images/profile_view_chat.png")));
    m_chatButton->setIconSize(QSize(40, 40));
    m_chatButton->setToolTip(tr("Chat"));
    m_chatButton->setAccessibleName(m_chatButton->toolTip());
    layout->addWidget(m_chatButton, 0, Qt::AlignHCenter);

    connect(closeButton, &QToolButton::clicked, this, &QWidget::close);
    connect(m_chatButton, &QToolButton::clicked, this, [this] {
        emit chatClicked(int(m_userId));
        close();
    });
    connect(m_pictureButton, &QToolButton::clicked, this,
            [this] { emit chatProfileImageClicked(int(m_userId)); });
    setFixedWidth(220);
}

void ProfileViewPopup::moveFromParent(QWidget* parent)
{
    const QRect frame = parent->frameGeometry();
    QPoint pos(frame.right() + 4, frame.top() + 40);
    const QScreen* screen = parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen && pos.x() + width() > screen->availableGeometry().right())
        pos.setX(frame.left() - width() - 4);
    move(pos);
}
