#include "widgets/mttoast.h"

#include "widgets/mtaccessible.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

MtToast::MtToast(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Only painted, never focused: a screen reader learns its text as an alert's name.
    MtAccessible::markAlert(this);
}

void MtToast::setText(const QString& text)
{
    m_text = text;
    setAccessibleName(text);
    update();
}

void MtToast::show()
{
    if (parentWidget())
        resize(parentWidget()->size());
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &QWidget::close);
    }
    m_timer->start(m_displayTime);
    raise();
    QWidget::show();
}

void MtToast::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box((width() - 200) / 2.0, height() - 69, 200, 30);
    QPainterPath path;
    path.addRoundedRect(box, 10, 10);
    painter.setOpacity(0.5);
    painter.fillPath(path, Qt::black);
    painter.setOpacity(1.0);
    painter.setPen(Qt::white);
    painter.drawPath(path);
    painter.drawText(box, Qt::AlignCenter, m_text);
}
