#pragma once

#include <QFrame>
#include <QPixmap>

class QTimer;

namespace Ui {
class ToastChatMessage;
}

// The new-message toast near the screen corner: the sender's picture and name and the message.
// It stays for its display time, then fades out in about a second and closes. Pinned, it stays
// until unpinned or clicked; a click (press and release on it) reports the room and closes it.
class ToastChatMessage : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kDefaultDisplayMsec = 5000;
    static constexpr int kFadeTickMsec = 50;
    static constexpr int kFadeSteps = 20;

    explicit ToastChatMessage(QWidget* parent = nullptr);
    ~ToastChatMessage() override;

    // The picture replaces the default one when it is not null.
    void setMessage(const QString& topic, const QString& title, const QString& message,
                    const QPixmap& picture);
    void setDisplayTime(int msec);

    QString topic() const { return m_topic; }
    QString title() const;
    QString message() const;
    int displayTime() const { return m_displayTime; }
    bool isPinned() const { return m_pinned; }
    // Whether the display time is over and the toast is fading out.
    bool isFading() const;
    // The opacity of the fade, from 1 down to 0.
    qreal opacity() const { return qreal(m_fadeStepsLeft) / kFadeSteps; }

signals:
    void windowClosed();
    void toastClicked(QString topic);

public slots:
    // Shows the toast without taking the focus; the display time runs unless pinned.
    void show();
    // Back to full opacity with the whole display time ahead (a reused toast).
    void reset();
    void timerTimeOut();
    void on_fixButton_clicked(bool pin);
    void on_closeButton_clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    Ui::ToastChatMessage* ui;
    QTimer* m_timer;
    QString m_topic;
    int m_displayTime = kDefaultDisplayMsec;
    int m_fadeStepsLeft = kFadeSteps;
    bool m_pressed = false;
    bool m_pinned = false;
};
