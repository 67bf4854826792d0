// The whole receive pipeline: a burst of 20,000 CHAT payloads for one room published to a local
// mosquitto broker, received by MqttManager, decoded, stored in the encrypted database and
// queued as items, against mosquitto_sub receiving the same burst from the same broker in the
// same run; then the delay from publish to queued item at 1,000 messages per second.
//
// The bursts run in rounds that alternate between the two sides, and each side keeps its best
// round: on a shared machine a burst of load from elsewhere during one burst would otherwise
// decide the ratio.
#include "receiveharness.h"

#include "bench/common/benchreport.h"

#include "messaging/chatpayload.h"
#include "messaging/mqttmanager.h"
#include "messaging/payloadcodec.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/mtdata.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {
const int kBurst = 20000;
const int kRounds = 3;
const int kPacedRate = 1000;
const int kPacedCount = 3000;
const qint32 kSender = 3;
const QString kClientId = QStringLiteral("bench-session");

// As the program runs by default: every line is formatted, nothing below a warning is kept.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// Takes the items off the queue on a thread of its own as soon as they are queued, and notes
// when each message of the run was queued.
class Taker
{
public:
    Taker(MqttManager* manager, int firstIndex, int count)
        : m_manager(manager), m_first(firstIndex), m_queuedAt(size_t(count), 0)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~Taker()
    {
        m_stop.store(true);
        m_thread.join();
    }
    int count() const { return m_count.load(); }
    // Only read once count() has reached the expected number.
    const std::vector<qint64>& queuedAt() const { return m_queuedAt; }

private:
    void run()
    {
        while (!m_stop.load() && m_count.load() < int(m_queuedAt.size())) {
            if (!m_manager->waitForMessageItem(50))
                continue;
            const qint64 now = ReceiveHarness::nowNs();
            while (auto item = m_manager->takeMessageItem()) {
                if (item->type() != MqttManager::MessageItem::Chat)
                    continue;
                const auto* chat = static_cast<const MqttManager::ChatMessageItem*>(item.get());
                const int index = ReceiveHarness::indexOf(chat->chat().msgId()) - m_first;
                if (index < 0 || size_t(index) >= m_queuedAt.size())
                    continue;
                m_queuedAt[size_t(index)] = now;
                m_count.fetch_add(1);
            }
        }
    }

    MqttManager* m_manager;
    const int m_first;
    std::vector<qint64> m_queuedAt;
    std::atomic<int> m_count{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// CHAT text payloads in the harness's id format ("bench-" and six digits), from `first` on.
QList<QByteArray> chatBurst(int first, int count)
{
    QList<QByteArray> out;
    out.reserve(count);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = first; i < first + count; ++i) {
        const QString id =
            QStringLiteral("bench-") + QString::number(i).rightJustified(6, QLatin1Char('0'));
        out << PayloadCodec::encode(ChatPayload::chat(now + i, kSender, ChatPayload::ContentText,
                                                      id, {}, QStringLiteral("message %1").arg(i)));
    }
    return out;
}

int fail(const QString& why)
{
    std::fprintf(stderr, "bench_mqttreceive: %s\n", qPrintable(why));
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietHandler);
    QTemporaryDir dir;
    if (!dir.isValid())
        return fail(QStringLiteral("no temporary folder"));
    ReceiveHarness harness;
    if (!harness.start())
        return fail(harness.errorString());

    // The signed-in receiver with its database: the room and the sender are known, as they are
    // after a login.
    const QString topic = QStringLiteral("chat/2");
    const QString dbPath = dir.filePath(QStringLiteral("veltri_bench.db"));
    DBManager db(dbPath, QString::fromLatin1(DBManager::kConnection),
                 QString::fromLatin1(DBManager::kPassword), 1);
    // The working indexes are there as in every file that has shown its room list once: each
    // stored chat pays for them.
    if (!db.isOpen() || !db.createWorkingIndexes())
        return fail(QStringLiteral("the database did not open"));
    MTData session(&db);
    DBEditor editor;
    session.setUserId(editor, harness.receiverUser().toLongLong());
    session.setClientId(editor, kClientId);
    DBUser sender(&db);
    sender.setUserId(kSender);
    sender.setUserName(QStringLiteral("Sender"));
    DBChatRoom room(&db);
    room.setTopic(topic);
    room.setType(RoomType1VS1);
    room.setMembers(QString::number(kSender));
    if (!sender.insertOrUpdate() || !room.insertOrUpdate())
        return fail(QStringLiteral("the directory could not be written"));

    if (!harness.prepareSession(kClientId, topic))
        return fail(harness.errorString());
    MqttManager manager(dbPath);
    manager.connectToHost(harness.broker().host(), harness.broker().port(), kClientId,
                          harness.receiverUser(), QString::fromLatin1(harness.receiverPassword()));
    if (!ReceiveHarness::waitFor([&] { return manager.isConnectedToHost(); }, 10000))
        return fail(QStringLiteral("the session did not connect"));

    QVector<qint64> sentAt;
    double reference = 0;
    double rate = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Each round its own message ids: a repeated id would replace a stored row instead of
        // adding one.
        const QList<QByteArray> burst = chatBurst(round * kBurst, kBurst);
        const double roundReference = harness.referenceRate(QStringLiteral("chat/1"), burst);
        if (roundReference <= 0)
            return fail(harness.errorString());
        Taker taker(&manager, round * kBurst, kBurst);
        harness.publishBurst(topic, burst, &sentAt);
        if (!ReceiveHarness::waitFor([&] { return taker.count() == kBurst; }, 300000))
            return fail(QStringLiteral("the burst was not queued: %1 of %2")
                            .arg(taker.count())
                            .arg(kBurst));
        const auto& queued = taker.queuedAt();
        const qint64 last = *std::max_element(queued.begin(), queued.end());
        const double roundRate = kBurst / (double(last - sentAt.first()) / 1e9);
        std::printf("round %d: pipeline %.0f msg/s, mosquitto_sub %.0f msg/s\n", round, roundRate,
                    roundReference);
        reference = std::max(reference, roundReference);
        rate = std::max(rate, roundRate);
    }

    QVector<double> delays;
    {
        Taker taker(&manager, kRounds * kBurst, kPacedCount);
        harness.publishPaced(topic, chatBurst(kRounds * kBurst, kPacedCount), kPacedRate, &sentAt);
        if (!ReceiveHarness::waitFor([&] { return taker.count() == kPacedCount; }, 60000))
            return fail(QStringLiteral("the paced messages were not queued"));
        for (int i = 0; i < kPacedCount; ++i)
            delays << double(taker.queuedAt()[size_t(i)] - sentAt.at(i)) / 1e6;
    }

    bool pass = MtBench::print({QStringLiteral("mqtt.receive"), rate, QStringLiteral("msg/s"),
                                reference, MtBench::Bar::AtLeast, 0.5});
    pass &= MtBench::print({QStringLiteral("mqtt.receive.p99"), MtBench::percentile(delays, 0.99),
                            QStringLiteral("ms"), std::nullopt, MtBench::Bar::AtMost, 20});
    std::printf("burst of %d stored and queued: best %.0f msg/s, mosquitto_sub best %.0f msg/s; "
                "%d at %d/s, publish to queued item: median %.2f ms, p99 %.2f ms\n",
                kBurst, rate, reference, kPacedCount, kPacedRate, MtBench::median(delays),
                MtBench::percentile(delays, 0.99));
    return pass ? 0 : 1;
}
