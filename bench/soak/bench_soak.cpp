// A working week of the whole program compressed into one run: the main window and its session
// log in against the reference server on the offscreen platform, in this process, and then take
//   - 200,000 chats over 200 rooms from the rooms' other members, three fifths as steady traffic
//     and two fifths in bursts of 2,000 (published by the server in batches),
//   - 300 chat windows opened from the main window, paged back three pages (the view scrolled to
//     its top) and closed; every tenth sends a text by Return, and ten of them send a picture and
//     a file and receive a picture and a file from a member,
//   - 30 idle locks (the idle timer set to run out at once) and unlocks by the lock page,
//   - 20 broker connections closed by the server while the session stays (the messaging session
//     connects again), and 5 key rotations (the server marks the keys, the next unlock's login
//     answer brings new ones and the messaging session starts on them),
//   - one log-file rotation (file logging on until the day's log passes 1 MiB and is moved).
// The default run lasts 10 minutes and does all of that. `--hours N` runs N hours with every
// count scaled by the length (N = 1 is six weeks); the log rotates once per ten minutes.
//
// It samples resident memory, open descriptors and threads of this process once a second, and
// the longest time the GUI thread did not turn its event loop (a 10 ms timer, the gap between two
// of its ticks; the GUI thread's CPU time over the same gap is given beside it, which tells the
// program's own work from a machine too busy to run the process). Like the program's own loop,
// the run's loop sleeps until something is due, and each step of a user (open, a page back, a
// Return, a close) comes in a turn of its own. The first figures are the least seen from a fifth of
// the run on for 40 s, the last the least seen in its last 40 s, both between two actions (no chat
// window open, unlocked, traffic flowing). At the end every room's chats in the store are compared
// with the server's history:
//   soak.rss.growth      resident memory, last vs first sample, percent; <= 10
//   soak.fd.growth       open descriptors, last - first; <= 5
//   soak.threads.growth  threads, last - first; <= 0
//   soak.stall.max       the longest event-loop gap after the login, ms; <= 200
//   soak.lost            chats the server keeps that the store lacks; 0
//   soak.duplicated      store rows beyond one per chat of the server's history; 0
#include "bench/common/benchreport.h"
#include "common/devserver.h"
#include "common/testenv.h"

#include "app/logging.h"
#include "chat/chatdialog.h"
#include "main/chatwindows.h"
#include "main/globaleventfilter.h"
#include "main/maindialog.h"
#include "resources/mtresources.h"
#include "session/mtsession.h"
#include "store/dbmanager.h"
#include "store/mtdata.h"
#include "widgets/mtchatwidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <malloc.h>
#include <mutex>
#include <sqlite3.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr double kWeekSeconds = 600;
constexpr int kRooms = 200;
constexpr int kWeekChats = 200000;
constexpr double kBurstShare = 0.4;
constexpr int kBurstChats = 2000;
constexpr int kBurstRooms = 5;
constexpr int kWeekWindows = 300;
constexpr int kPagesBack = 3;
constexpr int kTextEvery = 10;
constexpr int kWeekTransfers = 10;
constexpr int kWeekLocks = 30;
constexpr int kWeekDrops = 20;
constexpr int kWeekRotations = 5;
constexpr int kPostChunk = 500;
const char* const kAccount = "user003";

void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // The offscreen platform cannot raise a window; it says so for every window opened.
    if (type != QtDebugMsg && type != QtInfoMsg &&
        !message.startsWith(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

struct Usage
{
    double rssMb = 0;
    // The resident size's parts: anonymous memory (the heap, stacks) and mapped files.
    double anonMb = 0;
    double fileMb = 0;
    int fds = 0;
    int threads = 0;
    int widgets = 0;
    // What SQLite holds of the heap (page caches, statements), beside the rest of the process.
    double sqliteMb = 0;
    // The heap in use, every thread's arenas: a growth here is memory kept, a growth of the
    // resident size alone is the allocator's free memory not given back.
    double heapMb = 0;
    QHash<QString, int> widgetClasses;
};

void keepLeast(std::optional<Usage>& least, const Usage& u)
{
    if (!least) {
        least = u;
        return;
    }
    if (u.rssMb < least->rssMb) {
        least->rssMb = u.rssMb;
        least->anonMb = u.anonMb;
        least->fileMb = u.fileMb;
    }
    least->fds = std::min(least->fds, u.fds);
    least->threads = std::min(least->threads, u.threads);
    least->sqliteMb = std::min(least->sqliteMb, u.sqliteMb);
    least->heapMb = std::min(least->heapMb, u.heapMb);
    if (u.widgets < least->widgets) {
        least->widgets = u.widgets;
        least->widgetClasses = u.widgetClasses;
    }
}

Usage usage()
{
    Usage u;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            const auto mb = [&](int skip) {
                return line.mid(skip).trimmed().split(' ').value(0).toDouble() / 1024;
            };
            if (line.startsWith("VmRSS:"))
                u.rssMb = mb(6);
            else if (line.startsWith("RssAnon:"))
                u.anonMb = mb(8);
            else if (line.startsWith("RssFile:"))
                u.fileMb = mb(8);
        }
    }
    u.fds = QDir(QStringLiteral("/proc/self/fd"))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                .size();
    u.threads =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    u.sqliteMb = double(sqlite3_memory_used()) / 1048576;
    const struct mallinfo2 heap = mallinfo2();
    u.heapMb = double(heap.uordblks + heap.hblkhd) / 1048576;
    const QWidgetList widgets = QApplication::allWidgets();
    u.widgets = widgets.size();
    for (const QWidget* w : widgets)
        ++u.widgetClasses[QString::fromLatin1(w->metaObject()->className())];
    return u;
}

qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The longest time one call of the run took on the GUI thread, by what it was: wall and CPU.
class CallTimes
{
public:
    template <typename F>
    void time(const QString& what, F&& call)
    {
        QElapsedTimer clock;
        clock.start();
        const qint64 cpu = threadCpuNs();
        call();
        Worst& w = m_worst[what];
        w.wallMs = std::max(w.wallMs, double(clock.nsecsElapsed()) / 1e6);
        w.cpuMs = std::max(w.cpuMs, double(threadCpuNs() - cpu) / 1e6);
    }
    void print() const
    {
        std::printf("longest calls (wall/GUI thread CPU ms):");
        for (auto it = m_worst.cbegin(); it != m_worst.cend(); ++it)
            std::printf(" %s %.0f/%.0f", qPrintable(it.key()), it->wallMs, it->cpuMs);
        std::printf("\n");
    }

private:
    struct Worst
    {
        double wallMs = 0;
        double cpuMs = 0;
    };
    QHash<QString, Worst> m_worst;
};

// What the GUI thread was doing, sampled from a thread of its own every 2 ms: on a processor
// ("running"), or the system call it waited in (a lock, a sleep, a disk sync). A gap spent waiting
// is the program's own, however idle the machine. With SOAK_STACKS=N in the environment, the
// GUI thread's stack is written to the run's output at the first N gaps over 150 ms (gdb stops
// the process meanwhile: for finding a cause, not for the figures).
class WaitSampler
{
public:
    ~WaitSampler() { stop(); }
    void start()
    {
        m_tid = int(syscall(SYS_gettid));
        m_stacksLeft = qEnvironmentVariableIntValue("SOAK_STACKS");
        m_run = true;
        m_thread = std::thread([this] { loop(); });
    }
    void stop()
    {
        m_run = false;
        if (m_thread.joinable())
            m_thread.join();
    }
    // The GUI thread turned its event loop at this time (ns of a steady clock).
    void turned() { m_turnedNs = nowNs(); }
    // The samples since the last call, by what the thread did.
    QHash<QString, int> take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_samples, {});
    }

private:
    static qint64 nowNs()
    {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    static QString name(const QByteArray& first)
    {
        static const QHash<int, const char*> known{{0, "read"},         {1, "write"},
                                                   {7, "poll"},         {17, "pread"},
                                                   {18, "pwrite"},      {35, "nanosleep"},
                                                   {74, "fsync"},       {75, "fdatasync"},
                                                   {202, "futex"},      {230, "clock_nanosleep"},
                                                   {232, "epoll_wait"}, {271, "ppoll"}};
        bool number = false;
        const int nr = first.toInt(&number);
        if (!number)
            return QString::fromLatin1(first);
        return known.contains(nr) ? QString::fromLatin1(known.value(nr))
                                  : QStringLiteral("syscall %1").arg(nr);
    }
    void loop()
    {
        const QByteArray path = "/proc/self/task/" + QByteArray::number(m_tid) + "/syscall";
        while (m_run) {
            char buf[256] = {};
            const int fd = ::open(path.constData(), O_RDONLY);
            const ssize_t n = fd >= 0 ? ::read(fd, buf, sizeof(buf) - 1) : -1;
            if (fd >= 0)
                ::close(fd);
            const QByteArray first =
                QByteArray(buf, int(std::max<ssize_t>(n, 0))).split(' ').value(0).trimmed();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_samples[name(first)];
            }
            if (m_stacksLeft > 0 && m_turnedNs > 0 && nowNs() - m_turnedNs > 150000000) {
                --m_stacksLeft;
                stack();
                m_turnedNs = 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    void stack() const
    {
        const QByteArray cmd =
            "gdb -p " + QByteArray::number(getpid()) +
            " -batch -ex 'thread apply all bt 30' 2>/dev/null | awk '/^Thread .*LWP " +
            QByteArray::number(m_tid) + "/{f=1} /^Thread / && !/LWP " + QByteArray::number(m_tid) +
            "/{f=0} f'";
        std::printf("GUI thread stack in a gap over 150 ms:\n");
        std::fflush(stdout);
        std::system(cmd.constData());
    }

    int m_tid = 0;
    int m_stacksLeft = 0;
    std::atomic<bool> m_run{false};
    std::atomic<qint64> m_turnedNs{0};
    std::thread m_thread;
    std::mutex m_mutex;
    QHash<QString, int> m_samples;
};

// The longest gap between two ticks of a 10 ms timer on the GUI thread, and what the run was
// doing then.
class StallWatch
{
public:
    explicit StallWatch(const QString* phase) : m_phase(phase)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_lastCpu = threadCpuNs();
        m_lastPhase = *m_phase;
        m_sampler.start();
        m_timer.start();
    }
    void stop()
    {
        m_timer.stop();
        m_sampler.stop();
    }
    // What the GUI thread did in the longest gap, and in all gaps over 100 ms (samples of 2 ms).
    QHash<QString, int> maxGapSamples() const { return m_maxGapSamples; }
    QHash<QString, int> longGapSamples() const { return m_longGapSamples; }
    double maxMs() const { return m_maxMs; }
    QString where() const { return m_where; }
    // The GUI thread's CPU time during the longest gap.
    double maxGapBusyMs() const { return m_maxGapBusyMs; }
    int over(int ms) const { return m_gaps.value(ms); }
    // The most CPU time the GUI thread spent between two ticks: the part of a gap that is the
    // program's own work rather than a machine too busy to run it.
    double maxBusyMs() const { return m_maxBusyMs; }
    QString busyWhere() const { return m_busyWhere; }
    QHash<QString, int> busyByPhase() const { return m_busyByPhase; }
    // Gaps over 200 ms by what the run was doing.
    QHash<QString, int> longByPhase() const { return m_longByPhase; }

private:
    // "window 12 open" -> "window open".
    static QString kind(const QString& phase)
    {
        QStringList words;
        for (const QString& w : phase.split(QLatin1Char(' '))) {
            bool number = false;
            w.toInt(&number);
            if (!number)
                words << w;
        }
        return words.join(QLatin1Char(' '));
    }

    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        const double gap = double(now - m_last) / 1e6;
        const double busy = double(cpu - m_lastCpu) / 1e6;
        m_sampler.turned();
        const QHash<QString, int> samples = m_sampler.take();
        if (gap > 100) {
            for (auto it = samples.cbegin(); it != samples.cend(); ++it)
                m_longGapSamples[it.key()] += it.value();
        }
        m_last = now;
        m_lastCpu = cpu;
        if (busy > m_maxBusyMs) {
            m_maxBusyMs = busy;
            m_busyWhere = *m_phase;
        }
        if (busy > 100)
            ++m_busyByPhase[kind(*m_phase)];
        for (int bar : {50, 100, 200}) {
            if (gap > bar)
                ++m_gaps[bar];
        }
        if (gap > 200)
            ++m_longByPhase[kind(*m_phase)];
        // A gap is named by what the run did at both ends: work done in one turn of several
        // steps ends in the last of them.
        const QString where =
            m_lastPhase == *m_phase ? *m_phase : m_lastPhase + QStringLiteral(" .. ") + *m_phase;
        if (gap > m_maxMs) {
            m_maxMs = gap;
            m_maxGapBusyMs = busy;
            m_maxGapSamples = samples;
            m_where = where;
        }
        m_lastPhase = *m_phase;
    }

    const QString* m_phase;
    WaitSampler m_sampler;
    QHash<QString, int> m_maxGapSamples;
    QHash<QString, int> m_longGapSamples;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_lastCpu = 0;
    double m_maxMs = 0;
    double m_maxBusyMs = 0;
    QString m_busyWhere;
    QHash<QString, int> m_busyByPhase;
    QString m_where;
    QString m_lastPhase;
    double m_maxGapBusyMs = 0;
    QHash<int, int> m_gaps;
    QHash<QString, int> m_longByPhase;
};

struct Options
{
    double seconds = kWeekSeconds;
    double scale() const { return seconds / kWeekSeconds; }
    int scaled(int perWeek) const { return std::max(1, int(std::lround(perWeek * scale()))); }
};

Options parse(int argc, char* argv[])
{
    Options o;
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--hours") == 0)
            o.seconds = std::max(60.0, QByteArray(argv[i + 1]).toDouble() * 3600);
    }
    return o;
}

// What the run does besides the traffic, in time order.
struct Action
{
    enum Kind
    {
        Window,
        Lock,
        Drop,
        Rotate,
        LogRotation
    } kind;
    double at; // seconds from the start
    int index;
};

class Soak
{
public:
    Soak(DevServer& server, MainDialog& dialog, const QVector<DevRoom>& rooms, qint64 ownId,
         const Options& options, const QString& home)
        : m_server(server), m_dialog(dialog), m_rooms(rooms), m_ownId(ownId), m_options(options),
          m_home(home), m_stalls(&m_phase)
    {
        m_pulse.start(10);
        startControlThread();
        m_totalChats = options.scaled(kWeekChats);
        m_bursts = std::max(1, int(m_totalChats * kBurstShare / kBurstChats));
        m_steadyChats = m_totalChats - m_bursts * kBurstChats;
        QObject::connect(dialog.session(), &MtSession::messagingConnected,
                         [this] { ++m_connects; });
        makeFiles();
    }

    ~Soak() { stopControlThread(); }

    bool run();
    void report();
    // The figures' lines; whether all clear their bars.
    bool figures() const;

private:
    MtSession* session() { return m_dialog.session(); }
    double elapsed() const { return double(m_clock.nsecsElapsed()) / 1e9; }
    // One turn: traffic due, a sample due, then the event loop (deferred deletes included, as a
    // running event loop does them).
    void turn();
    bool waitFor(const std::function<bool()>& done, int timeoutMs);
    void pump(int ms);
    // The bench's own calls of the control interface run on a thread of their own with one
    // network access manager for the whole run: on the GUI thread each call would stall the
    // loop being measured (a manager per call also starts and joins a thread of its own, which
    // would make the process's thread count flicker).
    void startControlThread();
    void stopControlThread();
    // On the control thread.
    QJsonValue call(const QByteArray& method, const QString& path,
                    const QJsonValue& body = QJsonValue(), int* status = nullptr);
    // From the GUI thread: the call on the control thread, the event loop turning meanwhile.
    QJsonValue control(const QByteArray& method, const QString& path,
                       const QJsonValue& body = QJsonValue());
    QJsonArray history(qint64 roomId, int n)
    {
        return control("GET", QStringLiteral("/control/history/%1?n=%2").arg(roomId).arg(n))
            .toArray();
    }
    // On the control thread, every 100 ms: the chats due by now.
    void traffic();
    void post(const QJsonArray& chats);
    qint64 sender(const DevRoom& room, int k) const;
    void sample();
    bool quietPoint() const;

    bool window(int index);
    bool transfers(ChatDialog* window, const DevRoom& room);
    bool lockAndUnlock();
    bool drop();
    bool rotate();
    bool logRotation(int index);
    void makeFiles();
    bool check();

    DevServer& m_server;
    MainDialog& m_dialog;
    const QVector<DevRoom> m_rooms;
    const qint64 m_ownId;
    const Options m_options;
    const QString m_home;
    QString m_phase = QStringLiteral("start");
    StallWatch m_stalls;
    // Wakes a turn that waits for events, also when the stall watch does not run.
    QTimer m_pulse;
    QElapsedTimer m_clock;
    qint64 m_startMs = 0;
    int m_totalChats = 0;
    int m_bursts = 0;
    int m_steadyChats = 0;
    int m_steadyPosted = 0;
    int m_burstsPosted = 0;
    std::atomic<int> m_posted{0};
    int m_connects = 0;
    std::atomic<int> m_failures{0};
    std::atomic<bool> m_trafficOn{false};
    // Set by the control thread while it posts: the check reads the server's history only once
    // no post is on its way, or a chat posted after it would count as an extra row.
    std::atomic<bool> m_posting{false};
    QThread m_controlThread;
    QObject* m_context = nullptr;
    QNetworkAccessManager* m_manager = nullptr;
    double m_lastSample = -1;
    double m_lastQuietSample = -1;
    QVector<QPair<double, Usage>> m_samples;
    std::optional<Usage> m_first;
    std::optional<Usage> m_last;
    QString m_picture;
    QString m_document;
    int m_lost = -1;
    int m_duplicated = -1;
    QHash<QString, double> m_phaseSeconds;
    CallTimes m_calls;
};

void Soak::makeFiles()
{
    QImage picture(800, 600, QImage::Format_RGB32);
    QPainter painter(&picture);
    for (int y = 0; y < picture.height(); y += 20)
        painter.fillRect(0, y, picture.width(), 20, QColor::fromHsv((y / 20 * 37) % 360, 160, 220));
    painter.end();
    m_picture = m_home + QStringLiteral("/soak picture.png");
    picture.save(m_picture);
    m_document = m_home + QStringLiteral("/soak document.txt");
    QFile doc(m_document);
    if (doc.open(QIODevice::WriteOnly)) {
        for (int i = 0; i < 4000; ++i)
            doc.write(QByteArray("A line of the soak document, number ") + QByteArray::number(i) +
                      "\n");
    }
}

qint64 Soak::sender(const DevRoom& room, int k) const
{
    QVector<qint64> others;
    for (qint64 id : room.memberIds) {
        if (id != m_ownId)
            others << id;
    }
    return others.value(k % std::max(1, int(others.size())));
}

void Soak::startControlThread()
{
    m_controlThread.start();
    m_context = new QObject;
    m_context->moveToThread(&m_controlThread);
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_manager = new QNetworkAccessManager(m_context);
            auto* timer = new QTimer(m_context);
            QObject::connect(timer, &QTimer::timeout, m_context, [this] { traffic(); });
            timer->start(100);
        },
        Qt::BlockingQueuedConnection);
}

void Soak::stopControlThread()
{
    QMetaObject::invokeMethod(
        m_context, [this] { delete m_context; }, Qt::BlockingQueuedConnection);
    m_controlThread.quit();
    m_controlThread.wait();
}

QJsonValue Soak::call(const QByteArray& method, const QString& path, const QJsonValue& body,
                      int* status)
{
    QNetworkRequest request(
        QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.controlPort()).arg(path)));
    QByteArray payload;
    if (body.isObject()) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        payload = QJsonDocument(body.toObject()).toJson(QJsonDocument::Compact);
    }
    std::unique_ptr<QNetworkReply> reply(m_manager->sendCustomRequest(request, method, payload));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return QJsonValue::fromVariant(QJsonDocument::fromJson(reply->readAll()).toVariant());
}

QJsonValue Soak::control(const QByteArray& method, const QString& path, const QJsonValue& body)
{
    std::atomic<bool> done{false};
    QJsonValue answer;
    QMetaObject::invokeMethod(
        m_context,
        [&] {
            answer = call(method, path, body);
            done = true;
        },
        Qt::QueuedConnection);
    while (!done)
        turn();
    return answer;
}

void Soak::post(const QJsonArray& chats)
{
    if (chats.isEmpty())
        return;
    int status = 0;
    call("POST", QStringLiteral("/control/chats"), QJsonObject{{"chats", chats}}, &status);
    if (status == 200)
        m_posted += chats.size();
    else
        ++m_failures;
}

void Soak::traffic()
{
    // A call's own event loop runs this timer too. Marked as posting before the switch is read,
    // so that the run, which turns the switch off and then waits for the mark to clear, never
    // misses a post that has begun.
    if (m_posting.exchange(true))
        return;
    if (!m_trafficOn) {
        m_posting = false;
        return;
    }
    const double share = std::min(1.0, elapsed() / m_options.seconds);
    const int steadyDue = int(m_steadyChats * share);
    QJsonArray chats;
    while (m_steadyPosted < steadyDue && chats.size() < kPostChunk) {
        const int k = m_steadyPosted++;
        const DevRoom& room = m_rooms[k % m_rooms.size()];
        chats.append(QJsonObject{{"roomId", double(room.roomId)},
                                 {"userId", double(sender(room, k / m_rooms.size()))},
                                 {"text", QStringLiteral("soak steady %1").arg(k)}});
    }
    post(chats);
    // Bursts at even spaces, each into a few neighbouring rooms.
    if (m_burstsPosted < m_bursts && share >= (m_burstsPosted + 0.5) / m_bursts) {
        const int b = m_burstsPosted++;
        for (int part = 0; part < kBurstChats / kPostChunk; ++part) {
            QJsonArray burst;
            for (int i = 0; i < kPostChunk; ++i) {
                const DevRoom& room = m_rooms[(b * kBurstRooms + i % kBurstRooms) % m_rooms.size()];
                burst.append(QJsonObject{
                    {"roomId", double(room.roomId)},
                    {"userId", double(sender(room, i))},
                    {"text",
                     QStringLiteral("soak burst %1 %2").arg(b).arg(part * kPostChunk + i)}});
            }
            post(burst);
        }
    }
    m_posting = false;
}

void Soak::sample()
{
    const double now = elapsed();
    if (m_lastSample >= 0 && now - m_lastSample < 1)
        return;
    m_lastSample = now;
    m_samples.append({now, usage()});
}

bool Soak::quietPoint() const
{
    return m_dialog.chatWindows()->count() == 0 &&
           m_dialog.currentPage() == MainDialog::RoomListPage;
}

void Soak::turn()
{
    sample();
    // Sleeps until something is due, as the program's own loop does (the pulse wakes it at
    // least every 10 ms). The form with a time limit never sleeps: it drops WaitForMoreEvents
    // and returns at once when nothing is pending, so a loop of it kept a core busy that the
    // program's own threads need on a 2-core machine, and each preemption of the spinning
    // thread counted as a stall.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool Soak::waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    // At least one turn, even when the step's work is done on the spot (a page loaded within
    // the scroll): a user's input comes one event per turn of the loop, so two steps must not
    // share a turn, or one gap would hold an open, three pages and a close.
    do
        turn();
    while (!done() && clock.elapsed() < timeoutMs);
    return done();
}

void Soak::pump(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        turn();
}

bool Soak::window(int index)
{
    const DevRoom& room = m_rooms[index % m_rooms.size()];
    const QString phase = m_phase;
    const auto step = [&](const char* what) {
        m_phase = phase + QLatin1Char(' ') + QLatin1String(what);
    };
    step("open");
    m_calls.time(QStringLiteral("open"), [&] { m_dialog.openChatDialog(room.topic); });
    QPointer<ChatDialog> window = m_dialog.chatWindows()->window(room.topic);
    if (!window ||
        !waitFor([&] { return window->isVisible() && window->chatView()->count() > 0; }, 10000))
        return false;
    MtChatWidget* view = window->chatView();
    QScrollBar* bar = view->verticalScrollBar();
    step("page");
    for (int page = 0; page < kPagesBack; ++page) {
        const int before = view->count();
        // Every stored chat shown already (rows count date lines too): nothing older to page in.
        if (before >= session()->db()->chatCount(room.topic))
            break;
        // From one step below the top to the top, as a wheel turn there does.
        m_calls.time(QStringLiteral("page"), [&] {
            bar->setValue(1);
            bar->setValue(0);
        });
        if (!waitFor([&] { return view->count() > before; }, 2000))
            break;
    }
    bool ok = true;
    if (index % kTextEvery == 0) {
        step("text");
        auto* box = window->findChild<QPlainTextEdit*>(QStringLiteral("textEdit"));
        box->setPlainText(QStringLiteral("soak own text %1").arg(index));
        m_calls.time(QStringLiteral("return"), [&] { QTest::keyClick(box, Qt::Key_Return); });
        turn();
    }
    const int transferEvery =
        std::max(1, m_options.scaled(kWeekWindows) / m_options.scaled(kWeekTransfers));
    if (index % transferEvery == transferEvery / 2) {
        step("transfer");
        ok = transfers(window, room);
    }
    step("close");
    m_calls.time(QStringLiteral("close"), [&] { window->close(); });
    return waitFor([&] { return window.isNull(); }, 10000) && ok;
}

bool Soak::transfers(ChatDialog* window, const DevRoom& room)
{
    const auto ownOfType = [&](int contentType) {
        const QJsonArray tail = history(room.roomId, 30);
        return std::count_if(tail.begin(), tail.end(), [&](const QJsonValue& c) {
            return qint64(c["senderId"].toDouble()) == m_ownId &&
                   c["contentType"].toInt() == contentType;
        });
    };
    const auto pictures = ownOfType(2);
    const auto files = ownOfType(4);
    window->uploadFiles({m_picture}, true);
    window->uploadFiles({m_document}, false);
    const bool sent =
        waitFor([&] { return ownOfType(2) > pictures && ownOfType(4) > files; }, 30000);
    // From a member: a picture whose thumbnail the window fetches, and a file.
    QFile picture(m_picture);
    picture.open(QIODevice::ReadOnly);
    const int before = window->chatView()->count();
    control("POST", QStringLiteral("/control/chat"),
            QJsonObject{{"roomId", double(room.roomId)},
                        {"userId", double(sender(room, 0))},
                        {"contentType", 2},
                        {"fileName", "from a member.png"},
                        {"data", QString::fromLatin1(picture.readAll().toBase64())}});
    control("POST", QStringLiteral("/control/chat"),
            QJsonObject{{"roomId", double(room.roomId)},
                        {"userId", double(sender(room, 0))},
                        {"contentType", 4},
                        {"fileName", "from a member.txt"},
                        {"text", "A member's document\n"}});
    const bool received = waitFor([&] { return window->chatView()->count() >= before + 2; }, 10000);
    // Time for the thumbnail to come and be shown.
    pump(500);
    return sent && received;
}

bool Soak::lockAndUnlock()
{
    GlobalEventFilter* idle = m_dialog.globalEventFilter();
    idle->setLockTimeout(50);
    idle->startLockMode();
    if (!waitFor([&] { return m_dialog.currentPage() == MainDialog::LockPage; }, 10000))
        return false;
    pump(1000);
    m_dialog.findChild<QLineEdit*>(QStringLiteral("lockPasswordLineEdit"))
        ->setText(DevServer::kPassword);
    m_dialog.clickedUnlockButton();
    return waitFor([&] { return m_dialog.currentPage() == MainDialog::RoomListPage; }, 30000);
}

bool Soak::drop()
{
    const int connects = m_connects;
    const QJsonValue dropped = control("POST", QStringLiteral("/control/broker/drop"),
                                       QJsonObject{{"clientId", session()->mtData()->clientId()}});
    if (dropped["dropped"].toInt() != 1)
        return false;
    return waitFor([&] { return m_connects > connects; }, 30000);
}

bool Soak::rotate()
{
    const QString clientId = session()->mtData()->clientId();
    const int connects = m_connects;
    const QJsonValue rotated = control("POST", QStringLiteral("/control/session/rotate"),
                                       QJsonObject{{"clientId", clientId}});
    if (rotated["sessions"].toInt() != 1 || !lockAndUnlock())
        return false;
    return waitFor(
        [&] { return m_connects > connects && session()->mtData()->clientId() != clientId; },
        30000);
}

bool Soak::logRotation(int index)
{
    // The file handler copies every line to standard error: kept out of the report.
    std::fflush(stderr);
    const int savedErr = ::dup(STDERR_FILENO);
    const int sink = ::open(qPrintable(m_home + QStringLiteral("/stderr.txt")),
                            O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::dup2(sink, STDERR_FILENO);
    ::close(sink);
    const QDir logs(MtLog::logDirectory());
    const auto backups = [&] {
        return logs.entryList({QStringLiteral("*.bak*")}, QDir::Files).size();
    };
    const int before = backups();
    toggleFileLogging();
    const bool rotated = waitFor([&] { return backups() > before; }, 180000);
    toggleFileLogging();
    qInstallMessageHandler(quietHandler);
    std::fflush(stderr);
    ::dup2(savedErr, STDERR_FILENO);
    ::close(savedErr);
    std::printf("log rotation %d: %s\n", index, rotated ? "moved to a backup" : "NOT rotated");
    return rotated;
}

bool Soak::check()
{
    m_phase = QStringLiteral("check");
    // What the server keeps, per room, against the store once the traffic has stopped and
    // everything sent has had time to arrive.
    QHash<qint64, QSet<QString>> kept;
    QHash<QString, qint64> keptTime;
    for (const DevRoom& room : m_rooms) {
        for (const QJsonValue c : history(room.roomId, 10000000)) {
            kept[room.roomId].insert(c["messageId"].toString());
            keptTime.insert(c["messageId"].toString(), qint64(c["timestamp"].toDouble()));
        }
    }
    QStringList missing;
    QStringList extra;
    const auto count = [&](bool final) {
        QSqlDatabase db = QSqlDatabase::database(session()->db()->connectionName(), false);
        int lost = 0;
        int duplicated = 0;
        for (const DevRoom& room : m_rooms) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT msg_id, msg_type, content_type, msg_state, "
                                         "substr(content, 1, 40) FROM TTT_CHATT WHERE topic = ?"));
            query.addBindValue(room.topic);
            query.exec();
            QSet<QString> found;
            int rows = 0;
            while (query.next()) {
                ++rows;
                const QString id = query.value(0).toString();
                if (kept[room.roomId].contains(id))
                    found.insert(id);
                else if (final)
                    extra << QStringLiteral("%1 (type %2, content type %3, state %4: %5)")
                                 .arg(id)
                                 .arg(query.value(1).toInt())
                                 .arg(query.value(2).toInt())
                                 .arg(query.value(3).toInt())
                                 .arg(query.value(4).toString());
            }
            lost += kept[room.roomId].size() - found.size();
            if (final) {
                for (const QString& id : kept[room.roomId]) {
                    if (!found.contains(id))
                        missing << id;
                }
            }
            duplicated += rows - found.size();
        }
        if (final) {
            m_lost = lost;
            m_duplicated = duplicated;
        }
        return lost == 0;
    };
    waitFor([&] { return count(false); }, 60000);
    count(true);
    int total = 0;
    for (const QSet<QString>& ids : kept)
        total += ids.size();
    for (const QString& id : missing.mid(0, 10)) {
        std::printf("lost: %s, kept by the server at %.1f s of the run\n", qPrintable(id),
                    double(keptTime.value(id) - m_startMs) / 1000);
    }
    for (const QString& row : extra.mid(0, 10))
        std::printf("extra row: %s\n", qPrintable(row));
    std::printf("check: the server keeps %d chats in the %d rooms; %d lost, %d extra rows\n", total,
                int(m_rooms.size()), m_lost, m_duplicated);
    return true;
}

bool Soak::run()
{
    const Options& o = m_options;
    QVector<Action> actions;
    const auto spread = [&](Action::Kind kind, int count, double offset) {
        for (int i = 0; i < count; ++i)
            actions.append({kind, o.seconds * (i + offset) / count, i});
    };
    spread(Action::Window, o.scaled(kWeekWindows), 0.2);
    spread(Action::Lock, o.scaled(kWeekLocks), 0.4);
    spread(Action::Drop, o.scaled(kWeekDrops), 0.6);
    spread(Action::Rotate, o.scaled(kWeekRotations), 0.3);
    spread(Action::LogRotation, std::max(1, int(o.seconds / kWeekSeconds)), 0.5);
    std::stable_sort(actions.begin(), actions.end(),
                     [](const Action& a, const Action& b) { return a.at < b.at; });
    std::printf("plan: %.0f s, %d chats (%d steady, %d bursts of %d) over %d rooms, %d windows, "
                "%d locks, %d broker drops, %d key rotations, %d transfer rounds, %d log "
                "rotations\n",
                o.seconds, m_totalChats, m_steadyChats, m_bursts, kBurstChats, int(m_rooms.size()),
                o.scaled(kWeekWindows), o.scaled(kWeekLocks), o.scaled(kWeekDrops),
                o.scaled(kWeekRotations), o.scaled(kWeekTransfers),
                std::max(1, int(o.seconds / kWeekSeconds)));
    std::fflush(stdout);
    static const char* const names[] = {"window", "lock", "drop", "rotate", "log"};
    QHash<int, int> failed;
    m_clock.start();
    m_startMs = QDateTime::currentMSecsSinceEpoch();
    m_trafficOn = true;
    m_stalls.start();
    int next = 0;
    while (elapsed() < o.seconds) {
        // The least of each figure over a window longer than a thread pool's idle threads live
        // (30 s): what a leak leaves behind shows in the least, a worker about to expire or a
        // page of the allocator not yet handed back does not.
        const double least = std::min(40.0, 0.2 * o.seconds);
        const double now = elapsed();
        if (quietPoint() && now - m_lastQuietSample >= 0.5) {
            m_lastQuietSample = now;
            if (now >= 0.2 * o.seconds && now < 0.2 * o.seconds + least)
                keepLeast(m_first, usage());
            if (now >= o.seconds - least)
                keepLeast(m_last, usage());
        }
        if (next < actions.size() && actions[next].at <= elapsed()) {
            const Action a = actions[next++];
            m_phase =
                QString::fromLatin1(names[a.kind]) + QLatin1Char(' ') + QString::number(a.index);
            const double started = elapsed();
            bool ok = false;
            switch (a.kind) {
            case Action::Window:
                ok = window(a.index);
                break;
            case Action::Lock:
                ok = lockAndUnlock();
                break;
            case Action::Drop:
                ok = drop();
                break;
            case Action::Rotate:
                ok = rotate();
                break;
            case Action::LogRotation:
                ok = logRotation(a.index);
                break;
            }
            m_phaseSeconds[QString::fromLatin1(names[a.kind])] += elapsed() - started;
            if (a.kind != Action::Window)
                std::printf("%s: %.1f s to %.1f s\n", qPrintable(m_phase), started, elapsed());
            if (!ok) {
                ++failed[a.kind];
                std::printf("%s did not finish (at %.0f s)\n", qPrintable(m_phase), elapsed());
            }
            m_phase = QStringLiteral("traffic");
            continue;
        }
        turn();
    }
    m_stalls.stop();
    const int late = actions.size() - next;
    m_trafficOn = false;
    waitFor([&] { return !m_posting; }, 60000);
    std::printf("run: %.0f s, %d chats posted (%d calls failed), %d actions left undone; "
                "time in actions:",
                elapsed(), m_posted.load(), m_failures.load(), late);
    for (auto it = m_phaseSeconds.cbegin(); it != m_phaseSeconds.cend(); ++it)
        std::printf(" %s %.0f s", qPrintable(it.key()), it.value());
    std::printf("\n");
    if (!m_last)
        m_last = usage();
    check();
    bool allDone = late == 0;
    for (auto it = failed.cbegin(); it != failed.cend(); ++it) {
        std::printf("%d of the %s actions failed\n", it.value(), names[it.key()]);
        allDone = false;
    }
    return allDone;
}

void Soak::report()
{
    std::printf("samples (s: RSS MB, heap in use MB, descriptors, threads, widgets):");
    const int step = std::max(1, int(m_samples.size() / 20));
    for (int i = 0; i < m_samples.size(); i += step) {
        const Usage& u = m_samples[i].second;
        std::printf(" %.0f: %.1f/%.1f/%d/%d/%d", m_samples[i].first, u.rssMb, u.heapMb, u.fds,
                    u.threads, u.widgets);
    }
    std::printf("\n");
    const Usage first = m_first.value_or(Usage{});
    const Usage last = m_last.value_or(Usage{});
    std::printf("first: %.1f MB (anonymous %.1f MB, files %.1f MB; heap in use %.1f MB, SQLite "
                "%.1f MB), %d descriptors, %d threads, %d widgets; last: %.1f MB (anonymous %.1f "
                "MB, files %.1f MB; heap in use %.1f MB, SQLite %.1f MB), %d descriptors, %d "
                "threads, %d widgets\n",
                first.rssMb, first.anonMb, first.fileMb, first.heapMb, first.sqliteMb, first.fds,
                first.threads, first.widgets, last.rssMb, last.anonMb, last.fileMb, last.heapMb,
                last.sqliteMb, last.fds, last.threads, last.widgets);
    std::printf("stalls: longest %.0f ms, GUI thread busy %.0f ms of it (during %s); gaps over 50 "
                "ms: %d, over 100 ms: %d, over "
                "200 ms: %d\n",
                m_stalls.maxMs(), m_stalls.maxGapBusyMs(), qPrintable(m_stalls.where()),
                m_stalls.over(50), m_stalls.over(100), m_stalls.over(200));
    const QHash<QString, int> byPhase = m_stalls.longByPhase();
    for (auto it = byPhase.cbegin(); it != byPhase.cend(); ++it)
        std::printf("  gaps over 200 ms during %s: %d\n", qPrintable(it.key()), it.value());
    const auto printSamples = [](const char* what, const QHash<QString, int>& samples) {
        std::printf("%s:", what);
        for (auto it = samples.cbegin(); it != samples.cend(); ++it)
            std::printf(" %s %d", qPrintable(it.key()), it.value());
        std::printf("\n");
    };
    printSamples("GUI thread in the longest gap (2 ms samples)", m_stalls.maxGapSamples());
    printSamples("GUI thread in gaps over 100 ms (2 ms samples)", m_stalls.longGapSamples());
    std::printf("GUI thread busy: at most %.0f ms between two ticks (during %s)\n",
                m_stalls.maxBusyMs(), qPrintable(m_stalls.busyWhere()));
    const QHash<QString, int> busy = m_stalls.busyByPhase();
    for (auto it = busy.cbegin(); it != busy.cend(); ++it)
        std::printf("  busy over 100 ms during %s: %d\n", qPrintable(it.key()), it.value());
    m_calls.print();
    std::printf("widgets that grew in number:");
    for (auto it = last.widgetClasses.cbegin(); it != last.widgetClasses.cend(); ++it) {
        if (it.value() > first.widgetClasses.value(it.key()))
            std::printf(" %s %d -> %d", qPrintable(it.key()), first.widgetClasses.value(it.key()),
                        it.value());
    }
    std::printf("\n");
}

bool Soak::figures() const
{
    if (!m_first || !m_last)
        return false;
    // A figure that shrank is reported as no growth (a negative value reads as a failed
    // measurement); the detail lines above give both samples.
    const auto growth = [](double v) { return std::max(0.0, v); };
    bool ok = MtBench::print({"soak.rss.growth", growth((m_last->rssMb / m_first->rssMb - 1) * 100),
                              "%", std::nullopt, MtBench::Bar::AtMost, 10});
    ok &= MtBench::print({"soak.fd.growth", growth(m_last->fds - m_first->fds), "descriptors",
                          std::nullopt, MtBench::Bar::AtMost, 5});
    ok &= MtBench::print({"soak.threads.growth", growth(m_last->threads - m_first->threads),
                          "threads", std::nullopt, MtBench::Bar::AtMost, 0});
    ok &= MtBench::print(
        {"soak.stall.max", m_stalls.maxMs(), "ms", std::nullopt, MtBench::Bar::AtMost, 200});
    ok &= MtBench::print(
        {"soak.lost", double(m_lost), "chats", std::nullopt, MtBench::Bar::AtMost, 0});
    ok &= MtBench::print(
        {"soak.duplicated", double(m_duplicated), "chats", std::nullopt, MtBench::Bar::AtMost, 0});
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietHandler);
    const Options options = parse(argc, argv);
    TestEnv home;
    home.applyToCurrentProcess();
    QApplication app(argc, argv);
    mtInitResources();
    DevServer server;
    if (!server.start()) {
        std::fprintf(stderr, "bench_soak: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    const QVector<DevRoom> rooms =
        server.bulk(QString::fromLatin1(kAccount), kRooms, kRooms * 5, true);
    if (rooms.size() != kRooms) {
        std::fprintf(stderr, "bench_soak: the bulk rooms were not made\n");
        return 1;
    }
    const qint64 ownId = server.userId(QString::fromLatin1(kAccount));

    MainDialog dialog(ServerConfig::fromFile(server.clientIni()));
    dialog.show();
    dialog.findChild<QLineEdit*>(QStringLiteral("idLineEdit"))->setText(kAccount);
    dialog.findChild<QLineEdit*>(QStringLiteral("passwordLineEdit"))->setText(DevServer::kPassword);
    dialog.findChild<QCheckBox*>(QStringLiteral("autoLoginCheckBox"))->setChecked(false);
    QElapsedTimer login;
    login.start();
    dialog.clickedLoginButton();
    while (dialog.currentPage() != MainDialog::RoomListPage && login.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    if (dialog.currentPage() != MainDialog::RoomListPage) {
        std::fprintf(stderr, "bench_soak: the login did not reach the room list\n");
        return 1;
    }
    std::printf("login: room list after %lld ms\n", login.elapsed());

    Soak soak(server, dialog, rooms, ownId, options, home.root());
    const bool done = soak.run();
    soak.report();
    const int code = soak.figures() && done ? 0 : 1;
    // For a heap profiler: what is still allocated at the end counts as kept, not freed by the
    // teardown.
    if (qEnvironmentVariableIsSet("SOAK_EXIT_AT_END")) {
        server.stop();
        std::_Exit(code);
    }
    return code;
}
