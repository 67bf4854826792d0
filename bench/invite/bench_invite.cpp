// invite.open.200k: the invitation dialog made, its directory of 200,000 people read and the
// dialog painted. invite.filter.200k: one keystroke in its search box until the list is painted
// again, the slowest kind of keystroke (narrowing from everybody, narrowing further, widening
// back to everybody). invite.rss.200k: resident memory the open dialog adds. members.open.2000:
// the members of a 2,000-member room read from the store and their dialog painted.
// The directory is the store benchmarks' generated one, written into a file of its own by a
// child process, so that none of its writing memory is counted. The rows on screen have cached
// thumbnails, so their decoding is part of every figure.
#include "storebenchdata.h"

#include "bench/common/benchreport.h"
#include "invite/chatinvitedialog.h"
#include "invite/invitedirectory.h"
#include "invite/membersdialog.h"
#include "net/filemanager.h"
#include "net/netanswer.h"
#include "resources/mtresources.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbuser.h"
#include "widgets/mtsearchlineedit.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QLineEdit>
#include <QListView>
#include <QLoggingCategory>
#include <QPixmapCache>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

namespace {

constexpr int kRuns = 7;
constexpr int kMembers = 2000;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return kNaN;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return kNaN;
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Child process: the directory written into `file`.
int makeStore(const QString& file)
{
    {
        DBManager create(file, QStringLiteral("bench_make"),
                         QString::fromLatin1(DBManager::kPassword), 1);
    }
    DBManager db(file, QStringLiteral("Veltri_cache"), QString::fromLatin1(DBManager::kPassword),
                 0);
    DBMTData account(&db);
    StoreBenchData data;
    const QByteArray body = QJsonDocument(data.directoryResponse()).toJson(QJsonDocument::Compact);
    const NetAnswer answer = NetAnswer::read(body, "bench_invite", QStringLiteral("cache"));
    return answer.isReadable() && db.batchCache(account, answer.object()) ? 0 : 1;
}

// Thumbnails for the first people of the directory, as a picture fetch would have left them.
void cacheThumbnails(int count)
{
    QImage picture(64, 64, QImage::Format_RGB32);
    for (int i = 1; i <= count; ++i) {
        picture.fill(QColor::fromHsv((i * 37) % 360, 160, 200));
        picture.save(FileManager::cacheFilePath(QStringLiteral("/files/thumb/%1.png").arg(i)));
    }
}

void paint(QWidget& w)
{
    settle();
    w.repaint();
}

// Milliseconds of one step, on the clock and of the GUI thread's own processor time: on a shared
// machine the second tells the program's work from the time it waited for a core.
struct Timing
{
    double ms = 0;
    double cpuMs = 0;
};

class Stopwatch
{
public:
    Stopwatch() : m_cpu(threadCpuMs()) { m_clock.start(); }
    Timing read() const { return {m_clock.nsecsElapsed() / 1e6, threadCpuMs() - m_cpu}; }

private:
    QElapsedTimer m_clock;
    double m_cpu;
};

Timing openInvite(DBManager& db, std::unique_ptr<ChatInviteDialog>& dialog)
{
    QPixmapCache::clear();
    const Stopwatch watch;
    dialog = std::make_unique<ChatInviteDialog>(&db, StoreBenchData::kOwnUserId);
    dialog->setData(QString(), -1);
    dialog->show();
    paint(*dialog);
    return watch.read();
}

Timing keystroke(ChatInviteDialog& dialog, const QString& text)
{
    QListView* list = dialog.findChild<QListView*>(QStringLiteral("inviteListView"));
    const Stopwatch watch;
    dialog.searchLineEdit()->lineEdit()->setText(text);
    list->viewport()->repaint();
    return watch.read();
}

double openMembers(DBManager& db)
{
    QStringList ids;
    for (int i = 2; i < 2 + kMembers; ++i)
        ids << QString::number(i);
    QPixmapCache::clear();
    QElapsedTimer clock;
    clock.start();
    QList<DBUser> users;
    db.users(users, ids);
    MembersDialog dialog;
    dialog.setMembers(users);
    dialog.show();
    paint(dialog);
    const double ms = clock.nsecsElapsed() / 1e6;
    return users.size() == kMembers ? ms : kNaN;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--make-store") == 0) {
        QCoreApplication app(argc, argv);
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return makeStore(QString::fromLocal8Bit(argv[2]));
    }
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    mtInitResources();
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));

    MtBench::Figure open{QStringLiteral("invite.open.200k"),
                         kNaN,
                         QStringLiteral("ms"),
                         {},
                         MtBench::Bar::AtMost,
                         1000};
    MtBench::Figure filter{QStringLiteral("invite.filter.200k"),
                           kNaN,
                           QStringLiteral("ms"),
                           {},
                           MtBench::Bar::AtMost,
                           100};
    MtBench::Figure rss{QStringLiteral("invite.rss.200k"),
                        kNaN,
                        QStringLiteral("MB"),
                        {},
                        MtBench::Bar::AtMost,
                        160};
    MtBench::Figure members{QStringLiteral("members.open.2000"),
                            kNaN,
                            QStringLiteral("ms"),
                            {},
                            MtBench::Bar::AtMost,
                            200};

    const QString file = home.filePath(QStringLiteral("directory.db"));
    const int made = QProcess::execute(QCoreApplication::applicationFilePath(),
                                       {QStringLiteral("--make-store"), file});
    if (made != 0) {
        std::fprintf(stderr, "bench_invite: the directory store was not made\n");
        bool ok = true;
        for (const MtBench::Figure& f : {open, filter, rss, members})
            ok = MtBench::print(f) && ok;
        return 1;
    }
    QDir().mkpath(FileManager::cacheFolder());
    cacheThumbnails(200);
    DBManager db(file, QStringLiteral("Veltri"), QString::fromLatin1(DBManager::kPassword), 0);

    // Memory first, on a process that has not yet made a dialog.
    settle();
    const double before = residentMb();
    std::unique_ptr<ChatInviteDialog> dialog;
    const double firstOpen = openInvite(db, dialog).ms;
    settle();
    rss.value = residentMb() - before;
    std::printf("first open %.1f ms; resident %.1f MB before, %.1f MB added\n", firstOpen, before,
                rss.value);
    dialog.reset();
    settle();

    QVector<double> opens;
    QVector<double> opensCpu;
    for (int i = 0; i < kRuns; ++i) {
        const Timing t = openInvite(db, dialog);
        opens << t.ms;
        opensCpu << t.cpuMs;
        if (i + 1 < kRuns)
            dialog.reset();
        settle();
    }
    open.value = MtBench::median(opens);
    std::printf("open: median %.1f ms (%.1f to %.1f), %.1f ms of processor time\n", open.value,
                *std::min_element(opens.begin(), opens.end()),
                *std::max_element(opens.begin(), opens.end()), MtBench::median(opensCpu));
    QVector<double> reads;
    QVector<double> readsCpu;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = threadCpuMs();
        InviteDirectory directory;
        directory.load(&db, StoreBenchData::kOwnUserId);
        reads << clock.nsecsElapsed() / 1e6;
        readsCpu << threadCpuMs() - cpuBefore;
    }
    // The processor time tells a slower read from a busy machine.
    std::printf("of which reading the directory: median %.1f ms, %.1f ms of processor time\n",
                MtBench::median(reads), MtBench::median(readsCpu));

    // Each kind of keystroke, measured over several runs; the figure is the slowest kind.
    const QStringList steps{QStringLiteral("1"),  QStringLiteral("12"), QStringLiteral("123"),
                            QStringLiteral("12"), QStringLiteral("1"),  QString()};
    QVector<QVector<double>> perStep(steps.size());
    QVector<QVector<double>> perStepCpu(steps.size());
    for (int run = 0; run < kRuns; ++run) {
        for (int s = 0; s < steps.size(); ++s) {
            const Timing t = keystroke(*dialog, steps.at(s));
            perStep[s] << t.ms;
            perStepCpu[s] << t.cpuMs;
        }
    }
    double slowest = 0;
    for (int s = 0; s < steps.size(); ++s) {
        const double m = MtBench::median(perStep[s]);
        std::printf("keystroke to \"%s\": median %.2f ms, %.2f ms of processor time\n",
                    qPrintable(steps.at(s)), m, MtBench::median(perStepCpu[s]));
        slowest = std::max(slowest, m);
    }
    filter.value = slowest;
    dialog.reset();
    settle();

    QVector<double> memberOpens;
    for (int i = 0; i < kRuns; ++i) {
        memberOpens << openMembers(db);
        settle();
    }
    members.value = MtBench::median(memberOpens);

    bool ok = true;
    for (const MtBench::Figure& f : {open, filter, rss, members})
        ok = MtBench::print(f) && ok;
    return ok ? 0 : 1;
}
