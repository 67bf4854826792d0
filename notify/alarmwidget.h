#pragma once

#include <QFrame>

class QTimer;

// The bell picture shown for two seconds in the middle of the main window when the user turns
// the alarm on or off.
class AlarmWidget : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kDisplayMsec = 2000;

    explicit AlarmWidget(QWidget* parent = nullptr);

    void showAlarm(bool on);
    // The state of the last showAlarm().
    bool alarmOn() const { return m_on; }
    // The place showAlarm() gives the widget in a parent of `parentSize`.
    static QPoint centreIn(const QSize& parentSize, const QSize& ownSize);

public slots:
    void timerTimeOut();
    void hideThis();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QTimer* m_timer;
    bool m_on = false;
};
