#include "widgets/mtchatbaloongroupbox.h"

#include <QLayout>
#include <QPainter>

MtChatBaloonGroupBox::MtChatBaloonGroupBox(QWidget* parent) : QGroupBox(parent)
{
    setFlat(true);
    setStyleSheet(QStringLiteral("QGroupBox { border: none; margin: 0px; padding: 0px; }"));
}

QString MtChatBaloonGroupBox::pictureName() const
{
    return m_own ? QStringLiteral(":/ui/images/chat_right_baloon.9.png")
                 : QStringLiteral(":/ui/images/chat_left_baloon.9.png");
}

void MtChatBaloonGroupBox::setOwn(bool own)
{
    m_own = own;
    m_patch = MtNinePatch();
    if (layout())
        layout()->setContentsMargins(contentMargins());
    update();
}

QMargins MtChatBaloonGroupBox::contentMargins() const
{
    return patch().padding();
}

const MtNinePatch& MtChatBaloonGroupBox::patch() const
{
    const qreal ratio = devicePixelRatioF() > 1.0 ? 2.0 : 1.0;
    if (m_patch.isNull() || !qFuzzyCompare(m_patch.ratio(), ratio))
        m_patch = MtNinePatch(pictureName(), ratio);
    return m_patch;
}

void MtChatBaloonGroupBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    patch().draw(&painter, rect());
}
