#include "messaging/mqttnetworkloop.h"

#include <QDebug>

#include <mosquitto.h>

#include <cerrno>
#include <chrono>

namespace QMQTT {

namespace {
// After a disconnect request, how long the DISCONNECT packet may take to go out before the
// connection is left to be closed by force.
const auto kDisconnectGrace = std::chrono::seconds(2);
const int kMaxReconnectInterval = 30000;
// How often libmosquitto's keep-alive bookkeeping runs while nothing happens on the socket.
const auto kIdleTick = std::chrono::milliseconds(1000);
const auto kLeavingTick = std::chrono::milliseconds(100);

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}
} // namespace

NetworkLoop::NetworkLoop(Events events) : m_events(std::move(events)) {}

NetworkLoop::~NetworkLoop()
{
    stop();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

bool NetworkLoop::create(const QByteArray& clientId)
{
    if (m_mosq)
        return true;
    initLibrary();
    // A persistent session (clean session off) is what lets the broker keep the messages of an
    // offline client.
    m_mosq = mosquitto_new(clientId.constData(), false, this);
    if (!m_mosq)
        return false;
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V31);
    // A publish written right behind an acknowledgement would wait for the broker's delayed TCP
    // acknowledgement (Nagle's algorithm): tens of milliseconds for a chat on its way out.
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    // Our own thread runs the loop: publish() from other threads must only queue and wake it.
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_connect_callback_set(m_mosq, &NetworkLoop::onConnect);
    mosquitto_message_callback_set(m_mosq, &NetworkLoop::onMessage);
    return true;
}

void NetworkLoop::connectToHost(const Options& options)
{
    if (!m_mosq)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping || m_wanted)
            return;
        m_options = options;
        m_wanted = true;
        m_fresh = true;
    }
    m_wake.notify_all();
    if (!m_thread.joinable())
        m_thread = std::thread(&NetworkLoop::run, this);
}

void NetworkLoop::disconnectFromHost()
{
    if (!m_mosq)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wanted = false;
        ++m_disconnectRequests;
    }
    m_wake.notify_all();
    // Queues DISCONNECT; the network thread writes it once it may write.
    mosquitto_disconnect(m_mosq);
    m_wait.wake();
}

void NetworkLoop::settle(int count)
{
    if (count <= 0)
        return;
    m_settled.fetch_add(quint64(count));
    m_wait.wake();
}

bool NetworkLoop::mayWrite() const
{
    // libmosquitto drops what it had queued for a connection when it connects anew, so only the
    // acknowledgements of this connection's messages wait in its queue.
    return m_received == m_receivedBeforeConnection || m_settled.load() >= m_received;
}

bool NetworkLoop::acknowledgementsWaiting() const
{
    const quint64 settled = m_settled.load();
    return settled > m_acknowledged && settled < m_received;
}

quint16 NetworkLoop::publish(const Message& message)
{
    if (!m_mosq)
        return 0;
    const QByteArray topic = message.topic().toUtf8();
    const QByteArray payload = message.payload();
    int mid = 0;
    const int rc = mosquitto_publish(m_mosq, &mid, topic.constData(), payload.size(),
                                     payload.constData(), message.qos(), message.retain());
    // Without a connection a QoS 1 or 2 message is kept for the next one.
    if (rc == MOSQ_ERR_SUCCESS || (rc == MOSQ_ERR_NO_CONN && message.qos() > 0)) {
        m_wait.wake();
        return quint16(mid);
    }
    qWarning().noquote().nospace()
        << "QMQTT::Client::publish"
        << " topic:" << message.topic() << " error:" << mosquitto_strerror(rc);
    return 0;
}

void NetworkLoop::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_wanted = false;
        ++m_disconnectRequests;
    }
    m_wake.notify_all();
    if (m_mosq)
        mosquitto_disconnect(m_mosq);
    m_wait.wake();
    if (m_thread.joinable())
        m_thread.join();
}

bool NetworkLoop::leavingSince(int disconnectRequests)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopping || !m_wanted || m_disconnectRequests != disconnectRequests;
}

void NetworkLoop::run()
{
    int delay = 0;
    for (;;) {
        Options options;
        bool fresh = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (delay > 0) {
                m_wake.wait_for(lock, std::chrono::milliseconds(delay),
                                [this] { return m_stopping || !m_wanted || m_fresh; });
            }
            m_wake.wait(lock, [this] { return m_stopping || m_wanted; });
            if (m_stopping)
                return;
            fresh = m_fresh;
            m_fresh = false;
            options = m_options;
        }
        if (fresh)
            delay = 0;
        const Outcome outcome = runConnection(options, fresh);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!outcome.retry || !options.autoReconnect)
            m_wanted = false;
        // A broker that keeps refusing is asked less and less often.
        delay = outcome.wasUp ? options.reconnectInterval
                              : qBound(options.reconnectInterval, delay * 2, kMaxReconnectInterval);
    }
}

NetworkLoop::Outcome NetworkLoop::runConnection(const Options& options, bool fresh)
{
    int disconnectRequests;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        disconnectRequests = m_disconnectRequests;
    }
    m_sessionUp = false;
    m_connackCode = 0;
    int rc;
    if (fresh) {
        mosquitto_username_pw_set(
            m_mosq, options.username.isEmpty() ? nullptr : options.username.constData(),
            options.password.isEmpty() ? nullptr : options.password.constData());
        rc = mosquitto_connect_async(m_mosq, options.host.constData(), options.port,
                                     options.keepAlive);
    } else {
        rc = mosquitto_reconnect_async(m_mosq);
    }
    int errorNumber = errno;
    m_receivedBeforeConnection = m_received;
    m_acknowledged = m_received;
    bool disconnectSent = false;
    auto deadline = std::chrono::steady_clock::time_point::max();
    while (rc == MOSQ_ERR_SUCCESS) {
        if (!disconnectSent && leavingSince(disconnectRequests)) {
            // The request may have come before this connection existed; say it again.
            mosquitto_disconnect(m_mosq);
            disconnectSent = true;
            std::lock_guard<std::mutex> lock(m_mutex);
            // Stopping, nobody settles any more: what is unsettled is never acknowledged.
            deadline = std::chrono::steady_clock::now() +
                       (m_stopping && !mayWrite() ? std::chrono::seconds(0) : kDisconnectGrace);
        }
        const int sock = mosquitto_socket(m_mosq);
        if (sock < 0) {
            rc = MOSQ_ERR_NO_CONN;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            // DISCONNECT could not go out behind acknowledgements that must not: the connection
            // is cut, and the broker keeps the unsettled messages for the next one.
            MtSocketWait::shutdown(sock);
            // libmosquitto reads the end of the connection and closes its socket.
            mosquitto_loop_read(m_mosq, 1);
            break;
        }
        // Settled messages whose acknowledgements wait behind unsettled ones stop the reading
        // until the rest is settled too: read on, the loop would rarely find everything settled,
        // and a broker without a window of its own would get no acknowledgement for a whole
        // burst (aedes then searches an ever longer list of unacknowledged messages per send).
        const bool read = !disconnectSent && !acknowledgementsWaiting() &&
                          unsettled() < quint64(qMax(1, options.maxUnsettled));
        const int ready = m_wait.wait(sock, read, mayWrite() && mosquitto_want_write(m_mosq),
                                      disconnectSent ? kLeavingTick : kIdleTick);
        if (ready & MtSocketWait::Readable) {
            rc = mosquitto_loop_read(m_mosq, 1);
            errorNumber = errno;
            if (rc != MOSQ_ERR_SUCCESS)
                break;
        }
        // Also straight after a settle() wake-up: the acknowledgements go out at once.
        if (mayWrite() && mosquitto_want_write(m_mosq)) {
            rc = mosquitto_loop_write(m_mosq, 1);
            errorNumber = errno;
            if (rc != MOSQ_ERR_SUCCESS)
                break;
        }
        if (mayWrite() && !mosquitto_want_write(m_mosq))
            m_acknowledged = m_received;
        rc = mosquitto_loop_misc(m_mosq);
        errorNumber = errno;
    }

    Outcome outcome;
    outcome.wasUp = m_sessionUp;
    m_sessionUp = false;
    // The reason first, then the change of state.
    if (!disconnectSent && !leavingSince(disconnectRequests)) {
        m_events.error(m_connackCode != 0 ? errorForConnack(m_connackCode)
                                          : errorFor(rc, errorNumber));
        outcome.retry = rc != MOSQ_ERR_INVAL;
    }
    if (outcome.wasUp)
        m_events.disconnected();
    return outcome;
}

void NetworkLoop::onConnect(mosquitto*, void* self, int returnCode)
{
    auto* loop = static_cast<NetworkLoop*>(self);
    if (returnCode != 0) {
        loop->m_connackCode = returnCode;
        return;
    }
    loop->m_sessionUp = true;
    loop->m_events.connected();
}

void NetworkLoop::onMessage(mosquitto*, void* self, const mosquitto_message* m)
{
    auto* loop = static_cast<NetworkLoop*>(self);
    ++loop->m_received;
    const quint64 waiting = loop->unsettled();
    if (waiting > loop->m_highWater.load())
        loop->m_highWater.store(waiting);
    Message message(quint16(m->mid), QString::fromUtf8(m->topic),
                    QByteArray(static_cast<const char*>(m->payload), m->payloadlen), quint8(m->qos),
                    m->retain);
    loop->m_events.message(message);
}

ClientError NetworkLoop::errorFor(int rc, int errorNumber)
{
    switch (rc) {
    case MOSQ_ERR_CONN_LOST:
        return SocketRemoteHostClosedError;
    case MOSQ_ERR_KEEPALIVE:
        return MqttNoPingResponse;
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_LOOKUP:
        return SocketHostNotFoundError;
    case MOSQ_ERR_NOMEM:
        return SocketResourceError;
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
        return MqttProtocolViolationError;
    case MOSQ_ERR_CONN_REFUSED:
        return MqttNotAuthorizedError;
    case MOSQ_ERR_ERRNO:
        switch (errorNumber) {
        case ECONNREFUSED:
            return SocketConnectionRefusedError;
        case ECONNRESET:
        case EPIPE:
            return SocketRemoteHostClosedError;
        case ETIMEDOUT:
            return SocketTimeoutError;
        case EACCES:
        case EPERM:
            return SocketAccessError;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
            return SocketNetworkError;
        default:
            return UnknownError;
        }
    default:
        return UnknownError;
    }
}

ClientError NetworkLoop::errorForConnack(int returnCode)
{
    switch (returnCode) {
    case 1:
        return MqttUnacceptableProtocolVersionError;
    case 2:
        return MqttIdentifierRejectedError;
    case 3:
        return MqttServerUnavailableError;
    case 4:
        return MqttBadUserNameOrPasswordError;
    case 5:
        return MqttNotAuthorizedError;
    default:
        return UnknownError;
    }
}

} // namespace QMQTT
