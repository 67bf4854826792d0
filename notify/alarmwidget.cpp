#include "notify/alarmwidget.h"

#include <QTimer>

AlarmWidget::AlarmWidget(QWidget* parent) : QFrame(parent), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("AlarmWidget"));
    setFixedSize(120, 120);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &AlarmWidget::timerTimeOut);
    hide();
}

QPoint AlarmWidget::centreIn(const QSize& parentSize, const QSize& ownSize)
{
    // Widths and heights as right - left and bottom - top of the geometries, which are one less
    // than the sizes.
    const int parentWidth = parentSize.width() - 1;
    const int parentHeight = parentSize.height() - 1;
    const int ownWidth = ownSize.width() - 1;
    const int ownHeight = ownSize.height() - 1;
    return QPoint((parentWidth + 1) / 2 - (ownWidth + 1) / 2,
                  (parentHeight + 1) / 2 - (ownHeight + 1) / 2);
}

void AlarmWidget::showAlarm(bool on)
{
    m_on = on;
    setStyleSheet(on ? QStringLiteral("background-image: url(:/images/alarm_on.png);")
                     : QStringLiteral("background-image: url(:/images/alarm_off.png);"));
    m_timer->start(kDisplayMsec);
    show();
    raise();
    if (parentWidget())
        move(centreIn(parentWidget()->size(), size()));
}

void AlarmWidget::timerTimeOut()
{
    hide();
}

void AlarmWidget::hideThis()
{
    setWindowOpacity(1.0);
    close();
}

void AlarmWidget::mousePressEvent(QMouseEvent* event)
{
    Q_UNUSED(event)
    m_timer->stop();
    close();
}
