#pragma once

#include "messaging/mqttclienterror.h"
#include "messaging/mqttmessage.h"
#include "platform/socketwait.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;

namespace QMQTT {

// One libmosquitto connection and the thread that runs it: name lookup, connecting, reading,
// writing, keep-alive pings and reconnecting all happen there, so no caller ever waits on the
// network. Reconnection is driven here rather than by libmosquitto's own loop, which gives up
// for good on some errors and cannot be woken while it waits to reconnect; here a stop or a
// disconnect request ends any wait at once.
//
// Nothing is acknowledged before it is settled. libmosquitto queues the PUBACK of a QoS 1
// message before it hands the message over, but with the handle marked threaded it only queues
// it: packets go out when this loop calls mosquitto_loop_write(), which writes the whole queue.
// So the loop writes only while every message received on the current connection has been
// settled (settle(): stored, or deliberately dropped) and otherwise holds every write, keep-alive
// pings and publishes included, until the store has caught up; once some of them are settled,
// reading pauses until the rest is too, so the acknowledgements of a long burst go out in runs
// rather than all at its end. A process that dies meanwhile has acknowledged nothing the store
// lacks, and the broker sends it again. The loop also stops reading while Options::maxUnsettled
// messages wait: the rest stays at the broker (TCP holds it back) instead of piling up in memory.
class NetworkLoop
{
public:
    struct Options
    {
        QByteArray host;
        int port = 1883;
        QByteArray username;
        QByteArray password;
        int keepAlive = 30;
        bool autoReconnect = true;
        int reconnectInterval = 1000; // ms before the first retry; doubled per failure
        // Received messages that may wait for settle() before reading stops.
        int maxUnsettled = 1000;
    };
    // Called on the network thread.
    struct Events
    {
        std::function<void()> connected;
        std::function<void()> disconnected;
        std::function<void(ClientError)> error;
        std::function<void(const Message&)> message;
    };

    explicit NetworkLoop(Events events);
    ~NetworkLoop();
    NetworkLoop(const NetworkLoop&) = delete;
    NetworkLoop& operator=(const NetworkLoop&) = delete;

    // Makes the libmosquitto handle for the client id: MQTT 3.1, persistent session, no will.
    bool create(const QByteArray& clientId);
    bool isCreated() const { return m_mosq != nullptr; }
    // Starts connecting (the thread on first use); does nothing while already connecting or
    // connected.
    void connectToHost(const Options& options);
    void disconnectFromHost();
    // Thread-safe. Returns the packet id, 0 when the message could not be queued. A QoS 1
    // message published while the connection is down waits in libmosquitto's queue and goes
    // out after the next connect.
    quint16 publish(const Message& message);
    // Any thread: the next `count` messages handed to Events::message, in arrival order, are
    // settled and may be acknowledged.
    void settle(int count);
    // Any thread: the most received messages that waited unsettled at once.
    quint64 unsettledHighWater() const { return m_highWater.load(); }
    // Ends the connection and joins the thread; no event is called after this returns. Messages
    // that were received and never settled are not acknowledged: the connection is cut instead
    // of waiting for them.
    void stop();

    static ClientError errorFor(int mosquittoResult, int errorNumber);
    static ClientError errorForConnack(int returnCode);

private:
    void run();
    struct Outcome
    {
        bool retry = true;  // false for settings that can never work
        bool wasUp = false; // the broker had accepted the connection
    };
    // One connection from the connect call until it ends.
    Outcome runConnection(const Options& options, bool fresh);
    bool leavingSince(int disconnectRequests);
    bool mayWrite() const;
    // Settled messages wait for their acknowledgements behind messages read after them.
    bool acknowledgementsWaiting() const;
    quint64 unsettled() const { return m_received - m_settled.load(); }

    static void onConnect(mosquitto* mosq, void* self, int returnCode);
    static void onMessage(mosquitto* mosq, void* self, const mosquitto_message* message);

    const Events m_events;
    mosquitto* m_mosq = nullptr;
    std::thread m_thread;

    std::mutex m_mutex; // guards the fields below
    std::condition_variable m_wake;
    Options m_options;
    bool m_wanted = false; // connectToHost called and not undone
    bool m_fresh = false;  // options changed: connect anew instead of reconnecting
    bool m_stopping = false;
    int m_disconnectRequests = 0;

    MtSocketWait m_wait;
    std::atomic<quint64> m_settled{0};
    std::atomic<quint64> m_highWater{0};

    // Network thread only.
    bool m_sessionUp = false;
    int m_connackCode = 0;
    quint64 m_received = 0;
    quint64 m_receivedBeforeConnection = 0;
    // Every message received up to this count has its acknowledgement written.
    quint64 m_acknowledged = 0;
};

} // namespace QMQTT
