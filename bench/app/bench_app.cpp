// The program as the user starts it, on a real X display (Xvfb with a tray), against the
// reference server:
//   app.start.login   process start to the login page painted (fresh home), median; <= 400 ms
//   app.start.lock    process start with a stored session to the lock page painted, median;
//                     <= 600 ms
//   app.rss.rooms1000 resident memory once 1,000 rooms are listed after a real login against the
//                     bulk generator; <= 100 MB
//   login.usable      Return on the login page to the room list painted with the pictures of every
//                     row in view, 1,000 rooms, a fresh home each run, median; <= 1.5x the same
//                     requests made by curl over one kept connection (the median of replays of
//                     each run's requests the screen needs, read back from the server: the
//                     login's REST requests and the pictures of the rows in view), and <= 1.0 s
//                     (login.usable.seconds)
//   app.rss.users200k resident memory as app.rss.rooms1000, with a directory of 200,000 users;
//                     <= 120 MB
// Each start is a child process of this program that runs the program's own start-up sequence
// (single instance, resources, translations, the main window) and reports one line when the
// page in question has been painted. `--child <mode> ...` runs that child. Figure ids given as
// arguments (e.g. `bench_app login.usable`) measure only those.
#include "bench/common/benchreport.h"
#include "common/devserver.h"
#include "common/testenv.h"
#include "common/xsession.h"

#include "app/language.h"
#include "app/logging.h"
#include "app/qtsingleapplication.h"
#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "main/maindialog.h"
#include "resources/mtresources.h"
#include "store/mtdata.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QSet>
#include <QStackedWidget>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

namespace {

constexpr int kRuns = 5;
// Both sides of login.usable vary by tens of ms from run to run on a shared 2-core machine: the
// medians of seven runs of one program still moved by up to 15 ms from one bench to the next,
// their ratio between 1.2 and 2.1.
constexpr int kUsableRuns = 15;
constexpr int kRooms = 1000;
constexpr int kTypingMs = 1000;
const char* const kPassword = "Passw0rd!";

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

void report(const QByteArray& line)
{
    std::fprintf(stdout, "%s\n", line.constData());
    std::fflush(stdout);
}

// When the child pressed Return: wall clock (ms since the epoch, as the server's request record
// has it) and a monotonic clock for the interval.
qint64 g_returnEpochMs = 0;
QElapsedTimer g_sinceReturn;
// A last word of the report, when the mode has one.
std::function<QByteArray()> g_reportExtra;

// The pictures the rows in view show, each once: what the user waits for after Return.
QStringList picturesInView(const ChatRoomList* list)
{
    QStringList urls;
    for (const ChatRoomListWidgetItem* item : list->rowsInView())
        urls += item->pictureSources().urls;
    urls.removeAll(QString());
    urls.removeDuplicates();
    return urls;
}

// The program's application, counting nested deliveries of events: a paint is on the screen once
// the delivery that holds it (the window's update request, which hands the painted backing store
// to the display after its widgets have painted) has returned.
class BenchApplication : public QtSingleApplication
{
public:
    using QtSingleApplication::QtSingleApplication;

    // Runs `then` once the delivery under way has returned.
    void afterDelivery(std::function<void()> then) { m_afterDelivery = std::move(then); }

    bool notify(QObject* receiver, QEvent* event) override
    {
        // Every thread delivers its events here; only the GUI thread's are counted.
        if (QThread::currentThread() != thread())
            return QtSingleApplication::notify(receiver, event);
        ++m_depth;
        const bool result = QtSingleApplication::notify(receiver, event);
        if (--m_depth == 0 && m_afterDelivery)
            std::exchange(m_afterDelivery, nullptr)();
        return result;
    }

private:
    int m_depth = 0;
    std::function<void()> m_afterDelivery;
};

// Reports once the widget has been painted, then quits. The line: the tag, resident kB, and for a
// login ms since Return, Return and now in ms since the epoch.
class PaintWatch : public QObject
{
public:
    // `withChildren`: a paint of a widget inside the page counts too (a row's new picture repaints
    // the row only).
    PaintWatch(QWidget* page, std::function<bool()> ready, QByteArray tag,
               bool withChildren = false)
        : m_page(page), m_ready(std::move(ready)), m_tag(std::move(tag)),
          m_withChildren(withChildren)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_done && event->type() == QEvent::Paint && isPage(watched) && m_ready()) {
            m_done = true;
            static_cast<BenchApplication*>(qApp)->afterDelivery([this] {
                const QByteArray sinceReturn =
                    g_sinceReturn.isValid()
                        ? " " + QByteArray::number(g_sinceReturn.nsecsElapsed() / 1e6) + " " +
                              QByteArray::number(g_returnEpochMs) + " " +
                              QByteArray::number(QDateTime::currentMSecsSinceEpoch())
                        : QByteArray();
                // Reported and quit from the event loop, not from inside a delivery.
                QTimer::singleShot(0, qApp, [this, sinceReturn] {
                    report(m_tag + " " + QByteArray::number(residentKb()) + sinceReturn +
                           (g_reportExtra ? " " + g_reportExtra() : QByteArray()));
                    QCoreApplication::quit();
                });
            });
        }
        return false;
    }

private:
    bool isPage(QObject* watched) const
    {
        return watched == m_page || (m_withChildren && watched->isWidgetType() &&
                                     m_page->isAncestorOf(static_cast<QWidget*>(watched)));
    }

    QWidget* m_page;
    std::function<bool()> m_ready;
    QByteArray m_tag;
    bool m_withChildren;
    bool m_done = false;
};

// BENCH_TRACE=1: the program's log lines on standard error, each with the ms since Return (or
// since the child started, before Return), to see where a figure's time goes. Formatting them
// slows the program down a little.
void traceMessageHandler(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    static QElapsedTimer sinceStart;
    if (!sinceStart.isValid())
        sinceStart.start();
    const bool returned = g_sinceReturn.isValid();
    const double ms =
        double(returned ? g_sinceReturn.nsecsElapsed() : sinceStart.nsecsElapsed()) / 1e6;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "%s%8.1f [%ld.%06ld] %s\n", returned ? "+" : "@", ms, long(now.tv_sec),
                 now.tv_nsec / 1000, qPrintable(msg.left(160)));
}

// The program's start-up sequence (app/main.cpp) up to the main window, then the mode's wait.
int runChild(int argc, char* argv[])
{
    const QString mode = QString::fromLatin1(argv[2]);
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    int appArgc = 1;
    BenchApplication app(QObject::tr("PLOVEX(Chat)"), appArgc, argv);
    QApplication::setApplicationName(QObject::tr("PLOVEX(Chat)"));
    QApplication::setApplicationVersion(QString::fromLatin1(MTData::kVersion));
    mtInitResources();
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    qInstallMessageHandler(qEnvironmentVariableIsSet("BENCH_TRACE") ? traceMessageHandler
                                                                    : MtLog::quietMessageHandler);
    initLanguage();
    QApplication::setQuitOnLastWindowClosed(false);
    auto dialog = std::make_unique<MainDialog>();
    auto* pages = dialog->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    std::unique_ptr<PaintWatch> watch;
    if (mode == QLatin1String("login-page")) {
        watch = std::make_unique<PaintWatch>(
            pages->widget(MainDialog::LoginPage), [] { return true; }, "PAINTED");
    } else if (mode == QLatin1String("lock-page")) {
        MainDialog* d = dialog.get();
        watch = std::make_unique<PaintWatch>(
            pages->widget(MainDialog::LockPage),
            [d] { return d->currentPage() == MainDialog::LockPage; }, "PAINTED");
    } else if (mode == QLatin1String("rooms")) {
        const int rooms = argc > 4 ? QByteArray(argv[4]).toInt() : kRooms;
        MainDialog* d = dialog.get();
        watch = std::make_unique<PaintWatch>(
            d->chatRoomList()->viewport(),
            [d, rooms] { return d->chatRoomList()->count() >= rooms; }, "LISTED");
    } else if (mode == QLatin1String("usable")) {
        const int rooms = argc > 4 ? QByteArray(argv[4]).toInt() : kRooms;
        MainDialog* d = dialog.get();
        watch = std::make_unique<PaintWatch>(
            d->chatRoomList()->viewport(),
            [d, rooms] {
                return d->chatRoomList()->count() >= rooms &&
                       d->chatRoomList()->rowsInViewPictured();
            },
            "USABLE", true);
        g_reportExtra = [d] { return picturesInView(d->chatRoomList()).join(',').toUtf8(); };
    }
    if (mode != QLatin1String("login-page") && mode != QLatin1String("lock-page")) {
        // Logs in as the user would, with automatic login kept for the next start: Return comes
        // a second after the window was shown, about the least it takes to type an account and
        // a password.
        const QString account = argc > 3 ? QString::fromLatin1(argv[3]) : QString();
        QTimer::singleShot(kTypingMs, dialog.get(), [d = dialog.get(), account] {
            d->findChild<QLineEdit*>(QStringLiteral("idLineEdit"))->setText(account);
            d->findChild<QLineEdit*>(QStringLiteral("passwordLineEdit"))
                ->setText(QString::fromLatin1(kPassword));
            d->findChild<QCheckBox*>(QStringLiteral("autoLoginCheckBox"))->setChecked(true);
            g_returnEpochMs = QDateTime::currentMSecsSinceEpoch();
            g_sinceReturn.start();
            d->clickedLoginButton();
        });
    }
    if (mode == QLatin1String("login")) {
        // Ends once the room list is up: the stored session is what the lock page start needs.
        QObject::connect(dialog->chatRoomList()->model(), &QAbstractItemModel::rowsInserted, &app,
                         [] {
                             QTimer::singleShot(500, qApp, [] {
                                 report("LOGGED_IN");
                                 QCoreApplication::quit();
                             });
                         });
    }
    dialog->show();
    const int result = app.exec();
    dialog.reset();
    deleteTranslators();
    return result;
}

// One child run: the milliseconds from its start to its report, and the resident memory it
// reported; value -1 when it failed.
struct ChildResult
{
    double msec = -1;
    double residentMb = -1;
    // A login's: ms from Return to the report, and both moments in ms since the epoch.
    double sinceReturnMs = -1;
    qint64 returnEpochMs = 0;
    qint64 reportEpochMs = 0;
    // A login to the usable room list: the pictures of the rows in view.
    QStringList inView;
};

ChildResult runOnce(const TestEnv& home, const XSession& x, const DevServer& server,
                    const QStringList& args, int timeoutMs)
{
    QProcess child;
    QProcessEnvironment env = x.environment(home.processEnvironment());
    env.insert(QStringLiteral("VELTRITALK_CONFIG"), server.clientIni());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(qEnvironmentVariableIsSet("BENCH_TRACE")
                                    ? QProcess::ForwardedErrorChannel
                                    : QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), QStringList{"--child"} + args);
    ChildResult result;
    QByteArray out;
    while (child.waitForReadyRead(timeoutMs)) {
        out += child.readAllStandardOutput();
        const int end = out.indexOf('\n');
        if (end < 0)
            continue;
        const QList<QByteArray> words = out.left(end).split(' ');
        result.msec = double(clock.nsecsElapsed()) / 1e6;
        result.residentMb = words.value(1).toDouble() / 1024.0;
        if (words.size() > 4) {
            result.sinceReturnMs = words.value(2).toDouble();
            result.returnEpochMs = words.value(3).toLongLong();
            result.reportEpochMs = words.value(4).toLongLong();
            result.inView = QString::fromUtf8(words.value(5)).split(',', Qt::SkipEmptyParts);
        }
        break;
    }
    if (!child.waitForFinished(30000)) {
        child.kill();
        child.waitForFinished();
    }
    return result;
}

QByteArray configValue(const QString& text)
{
    QByteArray out = text.toUtf8();
    out.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + out + '"';
}

// The requests, as the server recorded them (method, address, headers, form), made again by one
// curl process over one kept connection: its wall time in ms, -1 when curl failed. `connects`
// receives the connections curl opened.
double curlReplay(const DevServer& server, const QJsonArray& requests, int* connects)
{
    QTemporaryFile config;
    if (!config.open())
        return -1;
    const QSet<QString> managedByCurl = {"host", "content-length", "connection"};
    QByteArray text;
    for (const QJsonValue& r : requests) {
        if (!text.isEmpty())
            text += "next\n";
        text += "url = " +
                configValue(QStringLiteral("https://localhost:%1").arg(server.restPort()) +
                            r["url"].toString()) +
                "\n";
        text += "request = " + configValue(r["method"].toString()) + "\n";
        const QJsonObject headers = r["headers"].toObject();
        for (auto it = headers.begin(); it != headers.end(); ++it) {
            if (!managedByCurl.contains(it.key()))
                text += "header = " + configValue(it.key() + ": " + it.value().toString()) + "\n";
        }
        const QJsonObject form = r["form"].toObject();
        for (auto it = form.begin(); it != form.end(); ++it)
            text +=
                "data-urlencode = " + configValue(it.key() + "=" + it.value().toString()) + "\n";
        text += "cacert = " + configValue(server.caFile()) + "\n";
        text += "output = \"/dev/null\"\n";
        text += "write-out = \"%{num_connects} %{http_code}\\n\"\n";
    }
    config.write(text);
    config.flush();
    QProcess curl;
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"), {"-s", "-S", "-K", config.fileName()});
    if (!curl.waitForFinished(60000) || curl.exitCode() != 0) {
        std::fprintf(stderr, "bench_app: curl: %s\n", curl.readAllStandardError().constData());
        return -1;
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    *connects = 0;
    int refused = 0;
    for (const QByteArray& line : curl.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 2)
            continue;
        *connects += fields[0].toInt();
        refused += fields[1] == "200" ? 0 : 1;
    }
    // A refused request costs the server nothing: the replay would not be the same work.
    if (refused > 0) {
        std::fprintf(stderr, "bench_app: curl: %d of the replayed requests were refused\n",
                     refused);
        return -1;
    }
    return ms;
}

// The session keys the recorded requests carry, for `POST /control/session/next`.
QJsonObject sessionKeys(const QJsonArray& requests, qint64 userId)
{
    QJsonObject keys{{"userId", double(userId)}};
    for (const QJsonValue& r : requests) {
        const QJsonObject headers = r["headers"].toObject();
        if (headers.contains(QLatin1String("access-key"))) {
            keys.insert(QStringLiteral("accessKey"), headers["access-key"]);
            keys.insert(QStringLiteral("clientId"), headers["client-id"]);
            break;
        }
    }
    return keys;
}

// When the server had written a recorded request's answer whole, in ms after `epochMs`; -1
// before it had.
qint64 answeredAfter(const QJsonValue& request, qint64 epochMs)
{
    return request["answered"].isDouble() ? qint64(request["answered"].toDouble()) - epochMs : -1;
}

// BENCH_TRACE: the recorded requests, each with when it came and when its answer had been
// written, in ms after `epochMs`.
void printRequests(const QJsonArray& requests, qint64 epochMs, const char* prefix)
{
    for (const QJsonValue& request : requests)
        std::printf("    %s+%lld c%d %s answered +%lld\n", prefix,
                    qint64(request["time"].toDouble()) - epochMs, request["connection"].toInt(),
                    qPrintable(request["path"].toString()), answeredAfter(request, epochMs));
}

// login.usable over kUsableRuns logins of one account with 1,000 rooms, each in a fresh home,
// and their curl replays.
bool measureUsable(const XSession& x, DevServer& server)
{
    const QString account = QStringLiteral("user011");
    const QVector<DevRoom> rooms = server.bulk(account, kRooms, 0, false);
    QVector<double> usable;
    QVector<double> reference;
    const qint64 userId = server.userId(account);
    for (int i = 0; i < kUsableRuns && !rooms.isEmpty(); ++i) {
        // Every run is a first login on a new computer: the one before is over, or this one
        // would be asked to take its place.
        server.control("POST", "/control/session/end",
                       QJsonObject{{"userId", double(userId)}, {"code", 40104}});
        TestEnv home;
        const qint64 since = server.lastRequestSeq();
        const ChildResult r =
            runOnce(home, x, server, {"usable", account, QString::number(kRooms)}, 120000);
        // The reference makes the requests the screen needs: every REST request of the login
        // and the pictures of the rows in view. The program's other picture fetches (rows out of
        // view, the lock page's picture) are its own business; replayed, they would lengthen the
        // reference.
        QJsonArray made;
        QJsonArray needed;
        QSet<int> connections;
        QSet<QString> picturesAsked;
        for (const QJsonValue& request : server.requests(QStringLiteral("/"), since)) {
            const qint64 at = qint64(request["time"].toDouble());
            if (at < r.returnEpochMs || at > r.reportEpochMs)
                continue;
            made.append(request);
            connections.insert(request["connection"].toInt());
            const QString path = request["path"].toString();
            const bool picture = path.startsWith(QLatin1String("/pictures/"));
            if (picture)
                picturesAsked.insert(path);
            if (!picture || r.inView.contains(path))
                needed.append(request);
        }
        int notAsked = 0;
        for (const QString& url : r.inView)
            notAsked += picturesAsked.contains(QUrl(url).path()) ? 0 : 1;
        // Where the time went: when the login, the directory, the rooms and the first and last
        // picture were asked for, in ms after Return.
        QStringList timeline;
        for (const QJsonValue& request : made) {
            const QString path = request["path"].toString();
            const bool picture = path.startsWith(QLatin1String("/pictures"));
            if (!picture || request == made.last() || timeline.filter("/pictures").isEmpty())
                timeline << QStringLiteral("%1 +%2")
                                .arg(path.section(QLatin1Char('/'), 0, 3))
                                .arg(qint64(request["time"].toDouble()) - r.returnEpochMs);
        }
        std::printf("  %s\n", qPrintable(timeline.join(QStringLiteral(", "))));
        if (qEnvironmentVariableIsSet("BENCH_TRACE")) {
            std::printf("    in view: %s\n", qPrintable(r.inView.join(QLatin1Char(' '))));
            printRequests(made, r.returnEpochMs, "");
        }
        std::printf("  %d requests over %d connection(s), %d of them pictures (%d in view, %d of "
                    "those not asked for after Return)\n",
                    int(made.size()), int(connections.size()), int(picturesAsked.size()),
                    int(r.inView.size()), notAsked);
        // The replayed login must cost the server what the program's did: a login on a device
        // whose session is live keeps that session, where a first login also makes one and
        // subscribes it to every room. The new session takes the program's keys, which the
        // replayed requests carry; with new ones they were refused at once.
        server.control("POST", "/control/session/end",
                       QJsonObject{{"userId", double(userId)}, {"code", 40104}});
        server.control("POST", "/control/session/next", sessionKeys(needed, userId));
        int connects = 0;
        const qint64 replaySince = server.lastRequestSeq();
        const double curlMs = needed.isEmpty() ? -1 : curlReplay(server, needed, &connects);
        if (qEnvironmentVariableIsSet("BENCH_TRACE")) {
            const QJsonArray replayed = server.requests(QStringLiteral("/"), replaySince);
            const qint64 first = replayed.isEmpty() ? 0 : qint64(replayed[0]["time"].toDouble());
            printRequests(replayed, first, "curl ");
        }
        std::printf("login.usable run %d: %.0f ms after Return; curl %.0f ms for the %d requests "
                    "the screen needs over %d connection(s)\n",
                    i + 1, r.sinceReturnMs, curlMs, int(needed.size()), connects);
        usable << (r.sinceReturnMs > 0 ? r.sinceReturnMs : std::nan(""));
        reference << (connects == 1 ? curlMs : std::nan(""));
    }
    const double value = usable.isEmpty() ? -1 : MtBench::median(usable);
    const double ref = reference.isEmpty() ? -1 : MtBench::median(reference);
    bool ok = MtBench::print({"login.usable", value, "ms", ref, MtBench::Bar::AtMost, 1.5});
    ok &= MtBench::print(
        {"login.usable.seconds", value / 1000.0, "s", std::nullopt, MtBench::Bar::AtMost, 1.0});
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 2 && QByteArray(argv[1]) == "--child")
        return runChild(argc, argv);

    QCoreApplication app(argc, argv);
    XSession x(true);
    if (!x.isValid()) {
        std::fprintf(stderr, "bench_app: no X session: %s\n", qPrintable(x.errorString()));
        return 1;
    }
    DevServer server;
    if (!server.start()) {
        std::fprintf(stderr, "bench_app: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    bool ok = true;
    const QStringList only = app.arguments().mid(1);
    const auto wanted = [&only](const char* figure) {
        return only.isEmpty() || only.contains(QLatin1String(figure));
    };

    if (wanted("app.start.login")) {
        QVector<double> login;
        double loginRss = 0;
        for (int i = 0; i < kRuns; ++i) {
            TestEnv home;
            const ChildResult r = runOnce(home, x, server, {"login-page"}, 30000);
            login << r.msec;
            loginRss = r.residentMb;
        }
        QStringList runs;
        for (double v : login)
            runs << QString::number(v, 'f', 0);
        std::printf("login page: runs %s ms, %.1f MB resident\n", qPrintable(runs.join(',')),
                    loginRss);
        ok &= MtBench::print({"app.start.login", MtBench::median(login), "ms", std::nullopt,
                              MtBench::Bar::AtMost, 400});
    }

    // A stored session: one real login with automatic login, then starts to the lock page.
    if (wanted("app.start.lock")) {
        TestEnv stored;
        const ChildResult first = runOnce(stored, x, server, {"login", "user009"}, 120000);
        QVector<double> lock;
        for (int i = 0; i < kRuns && first.msec > 0; ++i)
            lock << runOnce(stored, x, server, {"lock-page"}, 30000).msec;
        ok &= MtBench::print({"app.start.lock", lock.isEmpty() ? -1 : MtBench::median(lock), "ms",
                              std::nullopt, MtBench::Bar::AtMost, 600});
    }

    // 1,000 rooms for a fresh account, listed after a real login.
    if (wanted("app.rss.rooms1000")) {
        const QVector<DevRoom> rooms = server.bulk(QStringLiteral("user010"), kRooms, 0, false);
        TestEnv roomsHome;
        ChildResult rss;
        if (!rooms.isEmpty())
            rss = runOnce(roomsHome, x, server, {"rooms", "user010", QString::number(kRooms)},
                          180000);
        std::printf("rooms: %d made, listed after %.0f ms\n", int(rooms.size()), rss.msec);
        ok &= MtBench::print(
            {"app.rss.rooms1000", rss.residentMb, "MB", std::nullopt, MtBench::Bar::AtMost, 100});
    }
    if (wanted("login.usable"))
        ok &= measureUsable(x, server);
    if (!wanted("app.rss.users200k"))
        return ok ? 0 : 1;

    // Four times the organisation: the same 1,000 rooms, and a first directory cache of 200,000
    // colleagues read during the login.
    DevServer big;
    ChildResult bigRss;
    if (big.start({QStringLiteral("--users"), QStringLiteral("200000")}) &&
        !big.bulk(QStringLiteral("user010"), kRooms, 0, false).isEmpty()) {
        TestEnv bigHome;
        bigRss = runOnce(bigHome, x, big, {"rooms", "user010", QString::number(kRooms)}, 300000);
    } else {
        std::fprintf(stderr, "bench_app: %s\n", qPrintable(big.errorString()));
    }
    std::printf("200,000 users: rooms listed after %.0f ms\n", bigRss.msec);
    ok &= MtBench::print(
        {"app.rss.users200k", bigRss.residentMb, "MB", std::nullopt, MtBench::Bar::AtMost, 120});
    return ok ? 0 : 1;
}
