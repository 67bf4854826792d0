#include "session/mtroompresence.h"

#include <QDebug>

#include <chrono>

MtRoomPresence::MtRoomPresence(qint64 expiryMs, Clock clock)
    : m_expiryMs(expiryMs), m_clock(std::move(clock))
{}

qint64 MtRoomPresence::now() const
{
    if (m_clock)
        return m_clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void MtRoomPresence::setOwnClientId(const QString& clientId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ownClientId = clientId;
}

void MtRoomPresence::enter(const QString& topic, const QString& clientId)
{
    const qint64 at = now();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (topic.isEmpty() || clientId.isEmpty() || clientId == m_ownClientId)
        return;
    qDebug().noquote().nospace() << "MtRoomPresence::enter - [PUT] topic=" << topic
                                 << ", clientId=" << clientId << ", myClientId=" << m_ownClientId;
    m_rooms[topic].insert(clientId, at);
}

void MtRoomPresence::leave(const QString& topic, const QString& clientId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (clientId == m_ownClientId)
        return;
    auto room = m_rooms.find(topic);
    if (room == m_rooms.end())
        return;
    qDebug().noquote().nospace() << "MtRoomPresence::leave - [POP] topic=" << topic
                                 << ", clientId=" << clientId << ", myClientId=" << m_ownClientId;
    room->remove(clientId);
    if (room->isEmpty())
        m_rooms.erase(room);
}

void MtRoomPresence::dropRoom(const QString& topic)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rooms.remove(topic);
}

void MtRoomPresence::setActiveTopic(const QString& topic)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_activeTopic = topic;
}

void MtRoomPresence::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rooms.clear();
    m_activeTopic.clear();
}

bool MtRoomPresence::isInRoom(const QString& topic) const
{
    const qint64 at = now();
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto room = m_rooms.constFind(topic);
    if (room == m_rooms.constEnd())
        return false;
    for (auto it = room->constBegin(); it != room->constEnd(); ++it) {
        if (at - it.value() < m_expiryMs)
            return true;
    }
    return false;
}

bool MtRoomPresence::isActiveChatWindow(const QString& topic) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !topic.isEmpty() && topic == m_activeTopic;
}
