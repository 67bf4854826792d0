#include "notify/toaststack.h"

#include "notify/toastchatmessage.h"
#include "notify/toastslots.h"

#include <QGuiApplication>
#include <QScreen>

ToastStack::ToastStack(QObject* parent) : QObject(parent) {}

ToastStack::~ToastStack()
{
    for (const QPointer<ToastChatMessage>& toast : qAsConst(m_toasts))
        delete toast.data();
}

QRect ToastStack::availableArea() const
{
    if (m_area)
        return m_area();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

ToastChatMessage* ToastStack::showMessage(const QString& topic, const QString& title,
                                          const QString& message, const QPixmap& picture,
                                          int displayMsec)
{
    ToastChatMessage* toast = nullptr;
    for (const QPointer<ToastChatMessage>& open : qAsConst(m_toasts)) {
        if (open && open->isVisible() && open->topic() == topic) {
            toast = open;
            break;
        }
    }
    if (!toast) {
        toast = new ToastChatMessage;
        QList<QRect> occupied;
        for (const QPointer<ToastChatMessage>& open : qAsConst(m_toasts)) {
            if (open && open->isVisible())
                occupied.append(open->frameGeometry());
        }
        connect(toast, &ToastChatMessage::windowClosed, this, &ToastStack::toastChatMessageClosed);
        connect(toast, &ToastChatMessage::toastClicked, this, &ToastStack::toastClicked);
        m_toasts.append(toast);
        toast->move(ToastSlots::place(availableArea(), toast->size(), occupied));
    }
    toast->setDisplayTime(displayMsec);
    toast->setMessage(topic, title, message, picture);
    toast->reset();
    toast->show();
    return toast;
}

QList<ToastChatMessage*> ToastStack::toasts() const
{
    QList<ToastChatMessage*> result;
    for (const QPointer<ToastChatMessage>& toast : m_toasts) {
        if (toast)
            result.append(toast);
    }
    return result;
}

void ToastStack::closeAll()
{
    const QList<ToastChatMessage*> open = toasts();
    for (ToastChatMessage* toast : open)
        toast->close();
}

void ToastStack::toastChatMessageClosed()
{
    auto* toast = qobject_cast<ToastChatMessage*>(sender());
    m_toasts.removeAll(toast);
    if (toast)
        toast->deleteLater();
}
