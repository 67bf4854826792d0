#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>

// The busy overlay: covers its parent and turns a spinner until it is hidden, at the latest
// after 30 seconds so that a lost answer never leaves the window blocked.
class MtLoadingWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kForceCloseMsec = 30000;

    explicit MtLoadingWidget(QWidget* parent = nullptr);

    QStringList imageList() const { return m_imageList; }
    // Replaces the frames (an empty list shows nothing but still closes on time).
    void setImageList(const QStringList& paths) { m_imageList = paths; }
    int frameIndex() const { return m_index; }
    bool isAnimating() const { return m_timer.isActive(); }
    bool isForceCloseArmed() const { return m_forceCloseTimer.isActive(); }
    int forceCloseInterval() const { return m_forceCloseTimer.interval(); }

public slots:
    void init();
    void timerTimeout();
    void forceCloseTimerTimeout();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap frame(int index) const;

    QStringList m_imageList;
    int m_index = 0;
    QTimer m_timer;
    QTimer m_forceCloseTimer;
};
