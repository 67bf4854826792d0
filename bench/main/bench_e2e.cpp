// Desk to desk: a chat typed on one desk until its bubble is painted on another, the whole
// program on both against the reference server and its broker, on loopback:
//   e2e.p99   20 chats/s for 15 s over 40 rooms that two accounts share: Return in the room's
//             chat window of desk A (this program again, in a child process with a home of its
//             own) until the bubble is painted in the room's chat window of desk B (this
//             process), both on the offscreen platform; 99th percentile in ms; <= 30 ms.
//             Reference in the same run: mosquitto_pub to mosquitto_sub at the same pace,
//             through a mosquitto broker (the reference server's broker takes only payloads of
//             the chat protocol, which mosquitto_pub cannot send a line at a time).
// Both processes read one clock (steady_clock, the system's monotonic clock).
#include "bench/common/benchreport.h"
#include "benchdesk.h"
#include "common/devserver.h"
#include "common/testenv.h"
#include "receiveharness.h"

#include "chat/chatdialog.h"
#include "main/chatwindows.h"
#include "main/maindialog.h"
#include "resources/mtresources.h"
#include "session/mtsession.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"

#include <QApplication>
#include <QDateTime>
#include <QHash>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstring>

namespace {

// A window sends by key at most once a second: each sends every two seconds, so that a late
// key press is not refused as too fast after the one before.
constexpr int kRooms = 40;
constexpr int kPerSecond = 20;
constexpr int kSeconds = 15;
constexpr int kChats = kPerSecond * kSeconds;
const char* const kDeskA = "user005";
const char* const kDeskB = "user006";
const char* const kRoleA = "--desk-a";
const QString kTextPrefix = QStringLiteral("desk ");

// The chat windows of the rooms, opened the way the room list opens them.
QVector<ChatDialog*> openWindows(MainDialog& dialog, const QStringList& topics)
{
    QVector<ChatDialog*> windows;
    for (const QString& topic : topics) {
        DBChatRoom room(dialog.dbManager());
        if (!dialog.dbManager()->findChatRoom(topic, room))
            return {};
        windows << dialog.chatWindows()->open(room);
    }
    BenchDesk::waitFor([] { return false; }, 200);
    return windows;
}

// Desk A, in the home its parent made for it: logs in, opens the rooms' windows, says "ready", and
// on "go" types one chat at a time at the pace, Return in the next room's window; then prints "sent
// <index> <ns>" for each.
int runDeskA(const QStringList& args)
{
    int argc = 1;
    char name[] = "bench_e2e";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    mtInitResources();
    MainDialog dialog(ServerConfig::fromFile(args.value(2)));
    dialog.show();
    if (!BenchDesk::logIn(dialog, QString::fromLatin1(kDeskA), 60000)) {
        std::fprintf(stderr, "desk A: no login\n");
        return 1;
    }
    const QVector<ChatDialog*> windows = openWindows(dialog, args.mid(3));
    if (windows.size() != kRooms) {
        std::fprintf(stderr, "desk A: the rooms' windows did not open\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin) || std::strncmp(line, "go", 2) != 0)
        return 1;
    QVector<qint64> sentNs(kChats, -1);
    const qint64 startNs = ReceiveHarness::nowNs();
    const qint64 stepNs = 1000000000LL / kPerSecond;
    for (int i = 0; i < kChats; ++i) {
        BenchDesk::waitFor([&] { return ReceiveHarness::nowNs() >= startNs + i * stepNs; }, 60000);
        auto* box = windows[i % kRooms]->findChild<QPlainTextEdit*>(QStringLiteral("textEdit"));
        box->setPlainText(kTextPrefix + QString::number(i));
        sentNs[i] = ReceiveHarness::nowNs();
        QTest::keyClick(box, Qt::Key_Return);
    }
    // The last ones on their way out before the report.
    BenchDesk::waitFor([] { return false; }, 500);
    for (int i = 0; i < kChats; ++i)
        std::printf("sent %d %lld\n", i, static_cast<long long>(sentNs[i]));
    std::fflush(stdout);
    // Stays logged in until desk B has seen everything.
    std::fgets(line, sizeof line, stdin);
    return 0;
}

// Notes when the bubbles added to a conversation are painted: with the next paint of the view's
// viewport, in which the rows' widgets are painted too.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QVector<qint64>* paintedNs) : m_paintedNs(paintedNs) {}
    void added(QWidget* viewport, int index)
    {
        if (!m_pending.contains(viewport))
            viewport->installEventFilter(this);
        m_pending[viewport] << index;
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const qint64 now = ReceiveHarness::nowNs();
            for (int index : m_pending.take(object))
                (*m_paintedNs)[index] = now;
        }
        return false;
    }

private:
    QVector<qint64>* const m_paintedNs;
    QHash<QObject*, QVector<int>> m_pending;
};

QVector<double> referenceLatencies()
{
    ReceiveHarness harness;
    if (!harness.start()) {
        std::fprintf(stderr, "bench_e2e: %s\n", qPrintable(harness.errorString()));
        return {};
    }
    const QVector<double> latencies =
        harness.referenceLatencies(QStringLiteral("chat/1"), kChats, kPerSecond);
    if (latencies.isEmpty())
        std::fprintf(stderr, "bench_e2e: %s\n", qPrintable(harness.errorString()));
    return latencies;
}

bool report(const QVector<double>& latencies, int missing, const QVector<double>& reference)
{
    const double refP99 = MtBench::percentile(reference, 0.99);
    std::printf("reference: mosquitto_pub to mosquitto_sub, %d lines at %d/s: median %.2f ms, "
                "p99 %.2f ms, max %.2f ms\n",
                int(reference.size()), kPerSecond, MtBench::median(reference), refP99,
                MtBench::percentile(reference, 1.0));
    std::printf("desk to desk: %d chats at %d/s over %d rooms: median %.1f ms, p90 %.1f ms, "
                "p99 %.1f ms, max %.1f ms, %d never painted\n",
                kChats, kPerSecond, kRooms, MtBench::median(latencies),
                MtBench::percentile(latencies, 0.9), MtBench::percentile(latencies, 0.99),
                MtBench::percentile(latencies, 1.0), missing);
    // The bar is on the figure itself; the reference's p99 stands beside it on the line above,
    // as a ratio to a fraction of a millisecond would say nothing.
    return MtBench::print(
        {"e2e.p99",
         missing == 0 && !reference.isEmpty() ? MtBench::percentile(latencies, 0.99) : -1, "ms",
         std::nullopt, MtBench::Bar::AtMost, 30});
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchDesk::installQuietHandler();
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.value(1) == QLatin1String(kRoleA))
        return runDeskA(args);

    TestEnv home;
    home.applyToCurrentProcess();
    QApplication app(argc, argv);
    mtInitResources();
    // Measured first, while nothing else of this run is busy.
    const QVector<double> reference = referenceLatencies();
    DevServer server;
    if (!server.start()) {
        std::fprintf(stderr, "bench_e2e: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    const qint64 idA = server.userId(QString::fromLatin1(kDeskA));
    const qint64 idB = server.userId(QString::fromLatin1(kDeskB));
    QStringList topics;
    for (int r = 0; r < kRooms; ++r)
        topics << server.addRoom(idA, {idA, idB}).topic;
    if (topics.contains(QString()) || idA == 0 || idB == 0) {
        std::fprintf(stderr, "bench_e2e: the shared rooms were not made\n");
        return 1;
    }

    MainDialog dialog(ServerConfig::fromFile(server.clientIni()));
    dialog.show();
    if (!BenchDesk::logIn(dialog, QString::fromLatin1(kDeskB), 60000)) {
        std::fprintf(stderr, "bench_e2e: desk B did not log in\n");
        return 1;
    }
    const QVector<ChatDialog*> windows = openWindows(dialog, topics);
    if (windows.size() != kRooms) {
        std::fprintf(stderr, "bench_e2e: desk B's windows did not open\n");
        return 1;
    }

    TestEnv homeA;
    QProcess deskA;
    deskA.setProcessEnvironment(homeA.processEnvironment());
    deskA.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    deskA.start(QCoreApplication::applicationFilePath(),
                QStringList{QString::fromLatin1(kRoleA), server.clientIni()} + topics);
    if (!BenchDesk::waitFor([&] { return deskA.canReadLine(); }, 120000) ||
        deskA.readLine().trimmed() != "ready") {
        std::fprintf(stderr, "bench_e2e: desk A did not get ready\n");
        deskA.kill();
        deskA.waitForFinished(5000);
        return 1;
    }

    // Connected after the windows' own slots: the bubble is in the view when this runs.
    QVector<qint64> paintedNs(kChats, -1);
    PaintWatch watch(&paintedNs);
    int unwatched = 0;
    QObject::connect(dialog.session(), &MtSession::chatForWindow, &app,
                     [&](const QString& topic, const DBChat& chat, bool own) {
                         const int i = chat.content().mid(kTextPrefix.size()).toInt();
                         if (own || !chat.content().startsWith(kTextPrefix) || i < 0 || i >= kChats)
                             return;
                         ChatDialog* window = dialog.chatWindows()->window(topic);
                         if (window && window->chatView()->findItem(chat.msgId()))
                             watch.added(window->chatView()->viewport(), i);
                         else
                             ++unwatched;
                     });
    // Where the time goes: the broker's clock (ms since the epoch) on this process's clock.
    const qint64 seqBefore = server.lastPublishedSeq();
    const qint64 epochMs = QDateTime::currentMSecsSinceEpoch();
    const qint64 epochNs = ReceiveHarness::nowNs();
    deskA.write("go\n");
    QByteArray out;
    int sentLines = 0;
    BenchDesk::waitFor(
        [&] {
            out += deskA.readAll();
            sentLines = out.count('\n');
            return sentLines >= kChats && paintedNs.last() >= 0;
        },
        kSeconds * 1000 + 60000);
    // The stragglers, if any, get a moment more to be painted.
    BenchDesk::waitFor([&] { return !paintedNs.contains(-1); }, 5000);
    deskA.write("quit\n");
    deskA.waitForFinished(10000);
    out += deskA.readAll();

    QVector<qint64> sentNs(kChats, -1);
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        const int i = parts.value(1).toInt();
        if (parts.size() == 3 && parts[0] == "sent" && i >= 0 && i < kChats)
            sentNs[i] = parts[2].toLongLong();
    }
    QVector<double> latencies;
    int missing = 0;
    for (int i = 0; i < kChats; ++i) {
        if (sentNs[i] < 0 || paintedNs[i] < 0) {
            std::printf("chat %d: %s\n", i, sentNs[i] < 0 ? "not typed" : "never painted");
            ++missing;
        } else
            latencies << double(paintedNs[i] - sentNs[i]) / 1e6;
    }
    MtBench::printSlowest(sentNs, paintedNs, sentNs[0], 6);
    QVector<double> toBroker;
    QVector<double> fromBroker;
    for (const DevPublished& p : server.published(seqBefore)) {
        const int i = p.contents.mid(kTextPrefix.size()).toInt();
        if (p.type != 1 || !p.contents.startsWith(kTextPrefix) || i < 0 || i >= kChats ||
            sentNs[i] < 0 || paintedNs[i] < 0)
            continue;
        const qint64 brokerNs = epochNs + (p.time - epochMs) * 1000000;
        toBroker << double(brokerNs - sentNs[i]) / 1e6;
        fromBroker << double(paintedNs[i] - brokerNs) / 1e6;
    }
    std::printf("desk A to the broker: median %.1f ms, p99 %.1f ms; the broker to desk B's paint: "
                "median %.1f ms, p99 %.1f ms (the broker's clock in whole ms)\n",
                MtBench::median(toBroker), MtBench::percentile(toBroker, 0.99),
                MtBench::median(fromBroker), MtBench::percentile(fromBroker, 0.99));
    if (unwatched > 0)
        std::printf("desk B: %d bubbles had no item to watch\n", unwatched);
    return report(latencies, missing, reference) ? 0 : 1;
}
