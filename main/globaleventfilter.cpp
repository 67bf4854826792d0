#include "main/globaleventfilter.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>

GlobalEventFilter::GlobalEventFilter(QObject* parent) : QObject(parent)
{
    // Precise, so that the period is the one chosen and not up to 5 % off.
    m_lockTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_lockTimer, &QTimer::timeout, this, &GlobalEventFilter::lockModeTimeout);
}

void GlobalEventFilter::setLockTime(int minutes)
{
    setLockTimeout(minutes * kMsecPerMinute);
}

void GlobalEventFilter::setLockTimeout(int msec)
{
    m_timeout = msec;
}

void GlobalEventFilter::startLockMode()
{
    qDebug().noquote().nospace() << "GlobalEventFilter::startLockMode start lock mode "
                                 << m_timeout;
    if (m_timeout > 0)
        m_lockTimer.start(m_timeout);
    else
        m_lockTimer.stop();
}

void GlobalEventFilter::stopLockMode()
{
    qDebug().noquote().nospace() << "GlobalEventFilter::startLockMode stop lock mode";
    m_lockTimer.stop();
}

void GlobalEventFilter::lockModeTimeout()
{
    if (m_suppressed || QApplication::activeModalWidget()) {
        emit lockDeferred();
        return;
    }
    m_lockTimer.stop();
    emit lockMode();
}

bool GlobalEventFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
        if (m_lockTimer.isActive())
            m_lockTimer.start(m_timeout);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
