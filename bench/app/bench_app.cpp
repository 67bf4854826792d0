// The program as the user starts it, on a real X display (Xvfb with a tray), against the
// reference server:
//   app.start.login   process start to the login page painted (fresh home), median; <= 400 ms
//   app.start.lock    process start with a stored session to the lock page painted, median;
//                     <= 600 ms
//   app.rss.rooms1000 resident memory once 1,000 rooms are listed after a real login against the
//                     bulk generator; <= 100 MB
//   app.rss.users200k the same with a directory of 200,000 users; <= 120 MB
// Each start is a child process of this program that runs the program's own start-up sequence
// (single instance, resources, translations, the main window) and reports one line when the
// page in question has been painted. `--child <mode> ...` runs that child.
#include "bench/common/benchreport.h"
#include "common/devserver.h"
#include "common/testenv.h"
#include "common/xsession.h"

#include "app/language.h"
#include "app/logging.h"
#include "app/qtsingleapplication.h"
#include "main/chatroomlist.h"
#include "main/maindialog.h"
#include "resources/mtresources.h"
#include "store/mtdata.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

constexpr int kRuns = 5;
constexpr int kRooms = 1000;
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

// Reports once the widget has been painted, then quits.
class PaintWatch : public QObject
{
public:
    PaintWatch(QWidget* page, std::function<bool()> ready, QByteArray tag)
        : m_page(page), m_ready(std::move(ready)), m_tag(std::move(tag))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_done && watched == m_page && event->type() == QEvent::Paint && m_ready()) {
            m_done = true;
            // After this paint has been delivered.
            QTimer::singleShot(0, qApp, [this] {
                report(m_tag + " " + QByteArray::number(residentKb()));
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QWidget* m_page;
    std::function<bool()> m_ready;
    QByteArray m_tag;
    bool m_done = false;
};

// The program's start-up sequence (app/main.cpp) up to the main window, then the mode's wait.
int runChild(int argc, char* argv[])
{
    const QString mode = QString::fromLatin1(argv[2]);
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    int appArgc = 1;
    QtSingleApplication app(QObject::tr("PLOVEX(Chat)"), appArgc, argv);
    QApplication::setApplicationName(QObject::tr("PLOVEX(Chat)"));
    QApplication::setApplicationVersion(QString::fromLatin1(MTData::kVersion));
    mtInitResources();
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    qInstallMessageHandler(MtLog::quietMessageHandler);
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
    }
    if (mode != QLatin1String("login-page") && mode != QLatin1String("lock-page")) {
        // Logs in as the user would, with automatic login kept for the next start.
        const QString account = argc > 3 ? QString::fromLatin1(argv[3]) : QString();
        QTimer::singleShot(50, dialog.get(), [d = dialog.get(), account] {
            d->findChild<QLineEdit*>(QStringLiteral("idLineEdit"))->setText(account);
            d->findChild<QLineEdit*>(QStringLiteral("passwordLineEdit"))
                ->setText(QString::fromLatin1(kPassword));
            d->findChild<QCheckBox*>(QStringLiteral("autoLoginCheckBox"))->setChecked(true);
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
};

ChildResult runOnce(const TestEnv& home, const XSession& x, const DevServer& server,
                    const QStringList& args, int timeoutMs)
{
    QProcess child;
    QProcessEnvironment env = x.environment(home.processEnvironment());
    env.insert(QStringLiteral("VELTRITALK_CONFIG"), server.clientIni());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
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
        break;
    }
    if (!child.waitForFinished(30000)) {
        child.kill();
        child.waitForFinished();
    }
    return result;
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
    std::printf("login page: runs %s ms, %.1f MB resident\n", qPrintable(runs.join(',')), loginRss);
    ok &= MtBench::print(
        {"app.start.login", MtBench::median(login), "ms", std::nullopt, MtBench::Bar::AtMost, 400});

    // A stored session: one real login with automatic login, then starts to the lock page.
    TestEnv stored;
    const ChildResult first = runOnce(stored, x, server, {"login", "user009"}, 120000);
    QVector<double> lock;
    for (int i = 0; i < kRuns && first.msec > 0; ++i)
        lock << runOnce(stored, x, server, {"lock-page"}, 30000).msec;
    ok &= MtBench::print({"app.start.lock", lock.isEmpty() ? -1 : MtBench::median(lock), "ms",
                          std::nullopt, MtBench::Bar::AtMost, 600});

    // 1,000 rooms for a fresh account, listed after a real login.
    const QVector<DevBulkRoom> rooms = server.bulk(QStringLiteral("user010"), kRooms, 0, false);
    TestEnv roomsHome;
    ChildResult rss;
    if (!rooms.isEmpty())
        rss = runOnce(roomsHome, x, server, {"rooms", "user010", QString::number(kRooms)}, 180000);
    std::printf("rooms: %d made, listed after %.0f ms\n", int(rooms.size()), rss.msec);
    ok &= MtBench::print(
        {"app.rss.rooms1000", rss.residentMb, "MB", std::nullopt, MtBench::Bar::AtMost, 100});

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
