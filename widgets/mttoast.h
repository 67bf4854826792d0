#pragma once

#include <QWidget>

class QTimer;

// A short note over its parent window ("Enabled Logging") that closes itself after a few
// seconds. It never takes the focus and lets the mouse reach the window beneath.
class MtToast : public QWidget
{
    Q_OBJECT
public:
    explicit MtToast(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }
    void setDisplayTime(int msec) { m_displayTime = msec; }
    int displayTime() const { return m_displayTime; }

public slots:
    // Covers the parent and starts the display time.
    void show();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    int m_displayTime = 3000;
    QTimer* m_timer = nullptr;
};
