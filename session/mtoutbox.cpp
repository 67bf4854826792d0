#include "session/mtoutbox.h"

#include "messaging/mqttmanager.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/messagetrace.h"

#include <QDateTime>
#include <QDebug>

#include <algorithm>
#include <vector>

namespace {
constexpr int kMsgStateFailed = 2;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}
} // namespace

MtOutbox::MtOutbox(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MtOutbox::checkDeadlines);
}

void MtOutbox::attach(DBManager* db, qint64 ownUserId)
{
    m_held.clear();
    m_timer.stop();
    m_connected = false;
    m_db = db;
    m_ownUserId = ownUserId;
    if (!m_db)
        return;
    QList<DBChat> unsent;
    if (!m_db->unsentChats(unsent, ownUserId)) {
        qCritical().noquote() << "MtOutbox::attach - the unsent chats could not be read";
        return;
    }
    for (const DBChat& chat : qAsConst(unsent))
        hold(chat);
}

void MtOutbox::hold(const DBChat& chat)
{
    Entry entry;
    entry.topic = chat.topic();
    entry.contentType = chat.contentType();
    entry.contents = chat.toMessage();
    entry.composedMs = chat.msgTime();
    m_held.insert(chat.msgId(), entry);
}

void MtOutbox::send(const DBChat& chat)
{
    if (chat.msgId().isEmpty())
        return;
    hold(chat);
    if (m_connected)
        publish(chat.msgId(), m_held[chat.msgId()], nowMs());
    armTimer();
}

void MtOutbox::connected()
{
    m_connected = true;
    const qint64 now = nowMs();
    std::vector<std::pair<qint64, QString>> order;
    order.reserve(size_t(m_held.size()));
    for (auto it = m_held.cbegin(); it != m_held.cend(); ++it)
        order.emplace_back(it.value().composedMs, it.key());
    std::sort(order.begin(), order.end());
    for (const auto& [composed, msgId] : order) {
        if (now - composed > kMaxAgeMs)
            fail(msgId);
        else
            publish(msgId, m_held[msgId], now);
    }
    armTimer();
}

void MtOutbox::disconnected()
{
    m_connected = false;
    // A chat published on the lost connection waits for the next one without a deadline.
    for (Entry& entry : m_held)
        entry.deadlineMs = 0;
    m_timer.stop();
}

void MtOutbox::confirmed(const QString& msgId)
{
    if (m_held.remove(msgId) > 0)
        armTimer();
}

void MtOutbox::publish(const QString& msgId, Entry& entry, qint64 now)
{
    if (!m_mqtt)
        return;
    qCDebug(lcMessageTrace).noquote().nospace()
        << "MtOutbox::publish topic=" << entry.topic << " msgId=" << msgId;
    m_mqtt->sendChat(entry.topic, entry.contentType, msgId, {}, entry.contents);
    entry.deadlineMs = now + m_confirmWaitMs;
}

void MtOutbox::fail(const QString& msgId)
{
    const Entry entry = m_held.take(msgId);
    qWarning().noquote().nospace()
        << "MtOutbox::fail - not confirmed, topic=" << entry.topic << " msgId=" << msgId;
    DBChat chat(m_db);
    if (!m_db || !m_db->findChat(entry.topic, msgId, chat))
        return;
    // Confirmed meanwhile (its echo is on its way to this thread): nothing failed.
    if (chat.msgState() == MsgStateConfirmed)
        return;
    if (!chat.updateMsgState(kMsgStateFailed)) {
        qCritical().noquote().nospace() << "MtOutbox::fail - not stored as failed, msgId=" << msgId;
        return;
    }
    emit failed(entry.topic, msgId);
}

void MtOutbox::checkDeadlines()
{
    const qint64 now = nowMs();
    QStringList late;
    for (auto it = m_held.cbegin(); it != m_held.cend(); ++it) {
        if (it.value().deadlineMs > 0 && it.value().deadlineMs <= now)
            late << it.key();
    }
    for (const QString& msgId : qAsConst(late))
        fail(msgId);
    armTimer();
}

void MtOutbox::armTimer()
{
    qint64 next = 0;
    for (const Entry& entry : qAsConst(m_held)) {
        if (entry.deadlineMs > 0 && (next == 0 || entry.deadlineMs < next))
            next = entry.deadlineMs;
    }
    if (next == 0) {
        m_timer.stop();
        return;
    }
    m_timer.start(int(qBound<qint64>(0, next - nowMs(), m_confirmWaitMs)));
}
