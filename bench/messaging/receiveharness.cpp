#include "receiveharness.h"

#include "messaging/chatpayload.h"
#include "messaging/payloadcodec.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {
const QString kReceiverUser = QStringLiteral("2");
const QByteArray kReceiverKey = "bench-access-key";
const QString kIdPrefix = QStringLiteral("bench-");
} // namespace

ReceiveHarness::ReceiveHarness() = default;

ReceiveHarness::~ReceiveHarness()
{
    m_publisher.reset();
    m_broker.stop();
}

QString ReceiveHarness::receiverUser() const
{
    return kReceiverUser;
}

QByteArray ReceiveHarness::receiverPassword() const
{
    return kReceiverKey;
}

bool ReceiveHarness::start()
{
    if (!MosquittoBroker::toolsAvailable()) {
        m_error = QStringLiteral("mosquitto and its clients are needed (scripts/setup.sh)");
        return false;
    }
    // Sessions need not outlive the broker here, and saving would compete with the burst.
    m_broker.setPersistence(false);
    if (!m_broker.addUser(kReceiverUser, QString::fromLatin1(kReceiverKey)) || !m_broker.start()) {
        m_error = m_broker.errorString();
        return false;
    }
    m_publisher = std::make_unique<QMQTT::Client>();
    m_publisher->setHostName(m_broker.host());
    m_publisher->setPort(m_broker.port());
    m_publisher->setClientId(QStringLiteral("bench-publisher"));
    m_publisher->setUsername(kReceiverUser);
    m_publisher->setPassword(kReceiverKey);
    m_publisher->connectToHost();
    if (!waitFor([this] { return m_publisher->isConnectedToHost(); }, 10000)) {
        m_error = QStringLiteral("the publisher did not connect");
        return false;
    }
    return true;
}

QList<QByteArray> ReceiveHarness::chatBurst(int count, qint32 senderId)
{
    QList<QByteArray> out;
    out.reserve(count);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        const QString id = kIdPrefix + QString::number(i).rightJustified(6, QLatin1Char('0'));
        out << PayloadCodec::encode(ChatPayload::chat(now + i, senderId, ChatPayload::ContentText,
                                                      id, {}, QStringLiteral("message %1").arg(i)));
    }
    return out;
}

int ReceiveHarness::indexOf(const QString& messageId)
{
    if (!messageId.startsWith(kIdPrefix))
        return -1;
    bool ok = false;
    const int index = messageId.midRef(kIdPrefix.size()).toInt(&ok);
    return ok ? index : -1;
}

bool ReceiveHarness::prepareSession(const QString& clientId, const QString& topic)
{
    if (m_broker.subscribeSession(clientId, {topic}))
        return true;
    m_error = m_broker.errorString();
    return false;
}

double ReceiveHarness::referenceRate(const QString& topic, const QList<QByteArray>& payloads)
{
    const QString id = QStringLiteral("bench-reference");
    if (!prepareSession(id, topic))
        return 0;
    QProcess sub;
    sub.setStandardOutputFile(QProcess::nullDevice());
    sub.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args = m_broker.clientArguments();
    args << QStringLiteral("-i") << id << QStringLiteral("-c") << QStringLiteral("-q")
         << QStringLiteral("1") << QStringLiteral("-t") << topic << QStringLiteral("-C")
         << QString::number(payloads.size());
    sub.start(QStringLiteral("mosquitto_sub"), args);
    if (!sub.waitForStarted(5000) ||
        !m_broker.waitForLog(QStringLiteral(" as %1 (").arg(id), 10000)) {
        m_error = QStringLiteral("mosquitto_sub did not connect");
        return 0;
    }
    QVector<qint64> sentAt;
    publishBurst(topic, payloads, &sentAt);
    if (!sub.waitForFinished(300000) || sub.exitCode() != 0) {
        m_error = QStringLiteral("mosquitto_sub did not receive the burst");
        sub.kill();
        sub.waitForFinished(1000);
        return 0;
    }
    const double seconds = double(nowNs() - sentAt.first()) / 1e9;
    return payloads.size() / seconds;
}

QVector<double> ReceiveHarness::referenceLatencies(const QString& topic, int count, int perSecond)
{
    const QString id = QStringLiteral("bench-latency");
    QProcess sub;
    sub.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sub.start(QStringLiteral("mosquitto_sub"),
              m_broker.clientArguments() << QStringLiteral("-i") << id << QStringLiteral("-q")
                                         << QStringLiteral("1") << QStringLiteral("-t") << topic);
    QProcess pub;
    pub.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    pub.start(QStringLiteral("mosquitto_pub"),
              m_broker.clientArguments()
                  << QStringLiteral("-i") << id + QStringLiteral("-pub") << QStringLiteral("-q")
                  << QStringLiteral("1") << QStringLiteral("-t") << topic << QStringLiteral("-l"));
    const bool connected = sub.waitForStarted(5000) && pub.waitForStarted(5000) &&
                           m_broker.waitForLog(QStringLiteral(" as %1 (").arg(id), 10000) &&
                           m_broker.waitForLog(QStringLiteral(" as %1-pub (").arg(id), 10000);
    QVector<double> latencies;
    const auto step = std::chrono::nanoseconds(1000000000LL / qMax(1, perSecond));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; connected && i < count; ++i) {
        std::this_thread::sleep_until(start + i * step);
        const qint64 sent = nowNs();
        pub.write(QStringLiteral("reference %1\n").arg(i).toLatin1());
        pub.waitForBytesWritten(1000);
        while (!sub.canReadLine() && sub.waitForReadyRead(5000)) {
        }
        if (!sub.canReadLine())
            break;
        sub.readLine();
        latencies << double(nowNs() - sent) / 1e6;
    }
    if (latencies.size() != count) {
        m_error = QStringLiteral("mosquitto_sub did not print every line of mosquitto_pub");
        latencies.clear();
    }
    pub.closeWriteChannel();
    for (QProcess* p : {&pub, &sub}) {
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(1000);
        }
    }
    return latencies;
}

void ReceiveHarness::publishBurst(const QString& topic, const QList<QByteArray>& payloads,
                                  QVector<qint64>* sentAt)
{
    sentAt->resize(payloads.size());
    for (int i = 0; i < payloads.size(); ++i) {
        (*sentAt)[i] = nowNs();
        m_publisher->publish(QMQTT::Message(0, topic, payloads.at(i), 1));
    }
}

void ReceiveHarness::publishPaced(const QString& topic, const QList<QByteArray>& payloads,
                                  int perSecond, QVector<qint64>* sentAt)
{
    sentAt->resize(payloads.size());
    const auto start = std::chrono::steady_clock::now();
    const auto step = std::chrono::nanoseconds(1000000000LL / qMax(1, perSecond));
    for (int i = 0; i < payloads.size(); ++i) {
        std::this_thread::sleep_until(start + i * step);
        (*sentAt)[i] = nowNs();
        m_publisher->publish(QMQTT::Message(0, topic, payloads.at(i), 1));
    }
}

qint64 ReceiveHarness::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool ReceiveHarness::waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}
