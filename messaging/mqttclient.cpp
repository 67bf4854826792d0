#include "messaging/mqttclient.h"

#include "messaging/mqttclientdelegate.h"
#include "messaging/mqttdeliverythread.h"
#include "messaging/mqttnetworkloop.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QPointer>

namespace QMQTT {

namespace {
// Posted to the client when the network thread has signals waiting. The signals themselves
// wait in a list under a standard mutex rather than travelling inside queued calls, so the
// hand-over between threads stays visible to the thread sanitizer.
const QEvent::Type kPendingEvent = QEvent::Type(QEvent::registerEventType());

void registerClientTypes()
{
    qRegisterMetaType<QMQTT::ClientError>("QMQTT::ClientError");
    qRegisterMetaType<QMQTT::Message>("QMQTT::Message");
}
} // namespace

Client::Client(const QHostAddress& host, quint16 port, QObject* parent)
    : QObject(parent), m_hostName(host.toString()), m_port(port)
{
    registerClientTypes();
}

Client::Client(ClientDelegate* delegate, QObject* parent)
    : Client(QHostAddress::LocalHost, 1883, parent)
{
    m_delegate = delegate;
}

Client::~Client()
{
    // The delivery thread first: once it has ended, whatever it has settled is final, and the
    // network thread acknowledges exactly that much (or, with messages left unsettled, nothing
    // more) before it leaves.
    if (m_delivery)
        m_delivery->stop();
    if (m_network)
        m_network->stop();
}

bool Client::setDelegate(ClientDelegate* delegate)
{
    if (m_delivery) {
        qWarning().noquote().nospace()
            << "QMQTT::Client::setDelegate - ignored, the delivery thread already runs";
        return false;
    }
    m_delegate = delegate;
    return true;
}

void Client::connectToHost()
{
    if (!m_network) {
        NetworkLoop::Events events;
        events.connected = [this] { post({Pending::Connected, UnknownError}); };
        events.disconnected = [this] { post({Pending::Disconnected, UnknownError}); };
        events.error = [this](ClientError e) { post({Pending::Error, e}); };
        events.message = [this](const Message& m) {
            // Without a delegate nobody keeps it: dropped, and settled at once.
            if (!m_delivery)
                m_network->settle(1);
            else
                m_delivery->post(m);
        };
        m_network = std::make_unique<NetworkLoop>(std::move(events));
    }
    if (!m_network->isCreated() && !m_network->create(m_clientId.toUtf8())) {
        // libmosquitto refuses a persistent session without a client id.
        qWarning().noquote().nospace() << "QMQTT::Client::connectToHost - cannot create a session"
                                       << " clientId:" << m_clientId;
        post({Pending::Error, MqttIdentifierRejectedError});
        return;
    }
    if (!m_delivery) {
        if (m_delegate) {
            m_delivery = std::make_unique<DeliveryThread>(
                m_delegate, [this](int count) { m_network->settle(count); });
            m_delivery->start();
        } else {
            // A client that only publishes.
            qDebug().noquote().nospace()
                << "QMQTT::Client::connectToHost - no delegate, received messages are dropped";
        }
    }
    NetworkLoop::Options options;
    options.host = m_hostName.toUtf8();
    options.port = m_port;
    options.username = m_username.toUtf8();
    options.password = m_password;
    options.keepAlive = m_keepAlive;
    options.autoReconnect = m_autoReconnect;
    options.reconnectInterval = qMax(100, m_autoReconnectInterval);
    options.maxUnsettled = m_maxUnsettled;
    m_network->connectToHost(options);
}

void Client::disconnectFromHost()
{
    if (m_network)
        m_network->disconnectFromHost();
}

quint64 Client::unsettledHighWater() const
{
    return m_network ? m_network->unsettledHighWater() : 0;
}

quint16 Client::publish(const Message& message)
{
    if (!m_network || !m_network->isCreated()) {
        qWarning().noquote().nospace() << "QMQTT::Client::publish - not connected yet, dropped"
                                       << " topic:" << message.topic();
        return 0;
    }
    return m_network->publish(message);
}

void Client::post(Pending pending)
{
    // The event is made and posted under our own mutex, and event() takes that mutex before it
    // looks at any event: Qt's posted-event queue orders the hand-over with locks that thread
    // sanitizers cannot see, ours they can.
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    const bool wasEmpty = m_pending.empty();
    m_pending.push_back(pending);
    if (wasEmpty)
        QCoreApplication::postEvent(this, new QEvent(kPendingEvent));
}

bool Client::event(QEvent* e)
{
    std::vector<Pending> pending;
    bool ours;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        ours = e->type() == kPendingEvent;
        if (ours)
            pending.swap(m_pending);
    }
    if (!ours)
        return QObject::event(e);
    // A receiver may delete the client from a slot.
    QPointer<Client> self(this);
    for (const Pending& p : pending) {
        switch (p.kind) {
        case Pending::Connected:
            m_connected = true;
            emit connected();
            break;
        case Pending::Disconnected:
            m_connected = false;
            emit disconnected();
            break;
        case Pending::Error:
            emit error(p.error);
            break;
        }
        if (!self)
            break;
    }
    return true;
}

} // namespace QMQTT
