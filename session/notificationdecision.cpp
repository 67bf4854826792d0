#include "session/notificationdecision.h"

QString NotificationDecision::Notice::toString() const
{
    return QStringLiteral("flash=%1 toast=%2 sound=%3").arg(flash).arg(toast).arg(sound);
}

NotificationDecision::Notice NotificationDecision::decide(const Facts& facts)
{
    Notice notice;
    // A chat read elsewhere (this window, or another session inside the room) is no news.
    if (!facts.login || facts.own || facts.read || facts.inRoom)
        return notice;
    notice.flash = true;
    // Behind the lock page nothing of the conversation may show: the flash only.
    if (facts.lock || !facts.senderKnown || !facts.alarm || !facts.topicAlarm)
        return notice;
    switch (facts.alarmType) {
    case AlarmWindow:
        notice.toast = true;
        break;
    case AlarmWindowAndSound:
        notice.toast = true;
        notice.sound = true;
        break;
    case AlarmSound:
        notice.sound = true;
        break;
    default:
        break;
    }
    return notice;
}
