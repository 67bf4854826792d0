#pragma once

#include "widgets/mtmessagedialog.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Answers every message box with `button` (OK or Cancel) after running `whileUp` inside it, and
// keeps its text.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(
        std::function<void()> whileUp = [] {}, const char* button = "okButton")
        : m_whileUp(std::move(whileUp))
    {
        connect(&m_poll, &QTimer::timeout, this, [this, button] {
            auto* box = qobject_cast<MtMessageDialog*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || m_busy)
                return;
            m_busy = true;
            texts << box->text();
            m_whileUp();
            box->findChild<QPushButton*>(QLatin1String(button))->click();
            m_busy = false;
        });
        m_poll.start(10);
    }
    QStringList texts;

private:
    std::function<void()> m_whileUp;
    QTimer m_poll;
    bool m_busy = false;
};
