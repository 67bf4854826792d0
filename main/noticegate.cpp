#include "main/noticegate.h"

#include "widgets/mtmessagedialog.h"

#include <QDebug>

int NoticeGate::information(QWidget* parent, const QString& text)
{
    const int result = run([&] { return MtMessageDialog::information(parent, text); });
    if (result == kDropped)
        qDebug().noquote().nospace()
            << "NoticeGate::information - a notice is up, dropped:" << text;
    return result;
}

int NoticeGate::run(const std::function<int()>& showBox)
{
    if (m_open) {
        ++m_dropped;
        return kDropped;
    }
    m_open = true;
    const int result = showBox();
    m_open = false;
    return result;
}

int NoticeGate::ask(const std::function<int()>& showBox)
{
    const bool wasOpen = m_open;
    m_open = true;
    const int result = showBox();
    m_open = wasOpen;
    return result;
}
