// The MQTT client layer alone: a burst of 20,000 CHAT payloads for one room received through
// QMQTT::Client's delivery thread, against mosquitto_sub on the same broker in the same run,
// and the delay from publish to delivery at 1,000 messages per second. The bursts alternate
// between the two sides for three rounds and each side keeps its best (a shared, noisy machine).
#include "receiveharness.h"

#include "bench/common/benchreport.h"

#include "messaging/chatpayload.h"
#include "messaging/mqttclientdelegate.h"
#include "messaging/payloadcodec.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <atomic>
#include <cstdio>
#include <vector>

namespace {
const int kBurst = 20000;
const int kRounds = 3;
const int kPacedRate = 1000;
const int kPacedCount = 3000;

// Notes when each bench message reached the delegate; decoding is part of the work measured.
class Receiver : public QMQTT::ClientDelegate
{
public:
    void reset(int count)
    {
        m_deliveredAt.assign(size_t(count), 0);
        m_count.store(0);
    }
    void onDeliveryThreadStarted() override {}
    void onMessageDelivered(const QMQTT::Message& message) override
    {
        ChatPayload p;
        if (!PayloadCodec::decode(message.payload(), &p))
            return;
        const int index = ReceiveHarness::indexOf(p.messageId);
        if (index < 0 || size_t(index) >= m_deliveredAt.size())
            return;
        m_deliveredAt[size_t(index)] = ReceiveHarness::nowNs();
        m_count.fetch_add(1);
    }
    int count() const { return m_count.load(); }
    // Only read once count() has reached the expected number.
    const std::vector<qint64>& deliveredAt() const { return m_deliveredAt; }

private:
    std::vector<qint64> m_deliveredAt;
    std::atomic<int> m_count{0};
};

int fail(const QString& why)
{
    std::fprintf(stderr, "bench_mqttclient: %s\n", qPrintable(why));
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Only the figures on stdout; warnings still reach stderr.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    ReceiveHarness harness;
    if (!harness.start())
        return fail(harness.errorString());

    const QList<QByteArray> burst = ReceiveHarness::chatBurst(kBurst, 3);
    const QString topic = QStringLiteral("chat/2");
    if (!harness.prepareSession(QStringLiteral("bench-layer"), topic))
        return fail(harness.errorString());
    Receiver receiver;
    QMQTT::Client client(&receiver);
    client.setHostName(harness.broker().host());
    client.setPort(harness.broker().port());
    client.setClientId(QStringLiteral("bench-layer"));
    client.setUsername(harness.receiverUser());
    client.setPassword(harness.receiverPassword());
    client.connectToHost();
    if (!ReceiveHarness::waitFor([&] { return client.isConnectedToHost(); }, 10000))
        return fail(QStringLiteral("the client did not connect"));

    QVector<qint64> sentAt;
    double reference = 0;
    double rate = 0;
    for (int round = 0; round < kRounds; ++round) {
        const double roundReference = harness.referenceRate(QStringLiteral("chat/1"), burst);
        if (roundReference <= 0)
            return fail(harness.errorString());
        receiver.reset(kBurst);
        harness.publishBurst(topic, burst, &sentAt);
        if (!ReceiveHarness::waitFor([&] { return receiver.count() == kBurst; }, 300000))
            return fail(QStringLiteral("the burst did not arrive: %1 of %2")
                            .arg(receiver.count())
                            .arg(kBurst));
        const auto& delivered = receiver.deliveredAt();
        const qint64 last = *std::max_element(delivered.begin(), delivered.end());
        const double roundRate = kBurst / (double(last - sentAt.first()) / 1e9);
        std::printf("round %d: layer %.0f msg/s, mosquitto_sub %.0f msg/s\n", round, roundRate,
                    roundReference);
        reference = std::max(reference, roundReference);
        rate = std::max(rate, roundRate);
    }

    receiver.reset(kPacedCount);
    const QList<QByteArray> paced = ReceiveHarness::chatBurst(kPacedCount, 3);
    harness.publishPaced(topic, paced, kPacedRate, &sentAt);
    if (!ReceiveHarness::waitFor([&] { return receiver.count() == kPacedCount; }, 60000))
        return fail(QStringLiteral("the paced messages did not arrive"));
    QVector<double> delays;
    for (int i = 0; i < kPacedCount; ++i)
        delays << double(receiver.deliveredAt()[size_t(i)] - sentAt.at(i)) / 1e6;

    bool pass = MtBench::print({QStringLiteral("mqtt.layer.receive"), rate, QStringLiteral("msg/s"),
                                reference, MtBench::Bar::AtLeast, 0.5});
    pass &= MtBench::print({QStringLiteral("mqtt.layer.p99"), MtBench::percentile(delays, 0.99),
                            QStringLiteral("ms"), std::nullopt, MtBench::Bar::AtMost, 20});
    std::printf("burst of %d: best %.0f msg/s through the layer, best %.0f msg/s by mosquitto_sub; "
                "%d at %d/s: median %.2f ms, p99 %.2f ms\n",
                kBurst, rate, reference, kPacedCount, kPacedRate, MtBench::median(delays),
                MtBench::percentile(delays, 0.99));
    return pass ? 0 : 1;
}
