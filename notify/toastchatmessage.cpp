#include "notify/toastchatmessage.h"
#include "ui_toastchatmessage.h"

#include "widgets/mtaccessible.h"
#include "widgets/mtpicture.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QTimer>

ToastChatMessage::ToastChatMessage(QWidget* parent)
    : QFrame(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowDoesNotAcceptFocus),
      ui(new Ui::ToastChatMessage), m_timer(new QTimer(this))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(360, 100);
    // Never focused, so read out as an alert when it shows.
    MtAccessible::markAlert(this);
    connect(m_timer, &QTimer::timeout, this, &ToastChatMessage::timerTimeOut);
    reset();
}

ToastChatMessage::~ToastChatMessage()
{
    delete ui;
}

void ToastChatMessage::setMessage(const QString& topic, const QString& title,
                                  const QString& message, const QPixmap& picture)
{
    m_topic = topic;
    ui->TitleLabel->setText(title);
    ui->messageLabel->setText(message);
    setAccessibleName(title);
    setAccessibleDescription(message);
    ui->iconLabel->setAccessibleName(tr("Picture of %1").arg(title));
    if (!picture.isNull())
        ui->iconLabel->setPixmap(
            mtRoundPicture(picture, ui->iconLabel->size(), devicePixelRatioF()));
}

void ToastChatMessage::setDisplayTime(int msec)
{
    m_displayTime = qMax(0, msec);
    m_timer->setInterval(m_displayTime);
}

QString ToastChatMessage::title() const
{
    return ui->TitleLabel->text();
}

QString ToastChatMessage::message() const
{
    return ui->messageLabel->text();
}

bool ToastChatMessage::isFading() const
{
    return !m_timer->isSingleShot();
}

void ToastChatMessage::show()
{
    QFrame::show();
    if (!m_pinned)
        m_timer->start();
}

void ToastChatMessage::reset()
{
    m_timer->stop();
    m_fadeStepsLeft = kFadeSteps;
    setWindowOpacity(1.0);
    m_timer->setInterval(m_displayTime);
    m_timer->setSingleShot(true);
    m_pressed = false;
}

void ToastChatMessage::timerTimeOut()
{
    if (m_timer->isSingleShot()) {
        m_timer->setSingleShot(false);
        m_timer->setInterval(kFadeTickMsec);
        m_timer->start();
        return;
    }
    // Counted in whole steps: the window's own opacity is stored in 256 levels and would not
    // reach 0 after exactly twenty subtractions of 0.05.
    m_fadeStepsLeft = qMax(0, m_fadeStepsLeft - 1);
    setWindowOpacity(opacity());
    if (m_fadeStepsLeft == 0) {
        m_timer->stop();
        close();
    }
}

void ToastChatMessage::on_fixButton_clicked(bool pin)
{
    m_pinned = pin;
    ui->fixButton->setChecked(pin);
    ui->fixButton->setIcon(QIcon(pin ? QStringLiteral(":/images/chatroom_pin_p.png")
                                     : QStringLiteral(":/images/chatroom_pin.png")));
    if (pin)
        m_timer->stop();
    else
        m_timer->start();
}

void ToastChatMessage::on_closeButton_clicked()
{
    m_timer->stop();
    close();
}

void ToastChatMessage::mousePressEvent(QMouseEvent* event)
{
    if (!m_pressed) {
        m_pressed = true;
        event->accept();
        return;
    }
    m_pressed = false;
    QFrame::mousePressEvent(event);
}

void ToastChatMessage::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressed) {
        QFrame::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    event->accept();
    m_timer->stop();
    emit toastClicked(m_topic);
    // Closed, not only hidden: the owner learns through windowClosed() that the toast is done
    // and frees it, instead of keeping an invisible toast for the rest of the session.
    close();
}

void ToastChatMessage::closeEvent(QCloseEvent* event)
{
    QFrame::closeEvent(event);
    emit windowClosed();
}
