#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QRect>

#include <functional>

class ToastChatMessage;

// The open new-message toasts: one per room, stacked upwards from the bottom-right corner of
// the screen without overlapping. A toast that closes (faded, closed or clicked) leaves the
// stack and is freed.
class ToastStack : public QObject
{
    Q_OBJECT
public:
    explicit ToastStack(QObject* parent = nullptr);
    ~ToastStack() override;

    // The area toasts are placed in; the primary screen's available area unless set.
    void setAvailableArea(std::function<QRect()> area) { m_area = std::move(area); }

    // Shows the message in the room's visible toast, which starts its display time again, or in
    // a new toast at the lowest free place.
    ToastChatMessage* showMessage(const QString& topic, const QString& title,
                                  const QString& message, const QPixmap& picture, int displayMsec);
    QList<ToastChatMessage*> toasts() const;
    // Closes every toast (the lock page must not leave a way into a room).
    void closeAll();

signals:
    void toastClicked(QString topic);

private slots:
    void toastChatMessageClosed();

private:
    QRect availableArea() const;

    QList<QPointer<ToastChatMessage>> m_toasts;
    std::function<QRect()> m_area;
};
