// The whole program on a real X display: the single-instance hand-over between two processes, a
// stale lock after a crash, and the start without a system tray.
#include "common/childprocess.h"
#include "common/testenv.h"
#include "common/xsession.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <memory>
#include <signal.h>

namespace {
const QString kTitle = QStringLiteral("^PLOVEX\\(Chat\\)$");

// Polls the X session until the condition holds or the time is up.
template <typename F>
bool waitUntil(F condition, int ms = 15000)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired() && !condition())
        QThread::msleep(100);
    return condition();
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void secondInstanceHandsOver();
    void staleLockAfterCrash();
    void noTrayShowsBoxAndExitsOne();

private:
    // The program in the session and the private home; null when it did not start.
    std::unique_ptr<QProcess> start(const XSession& x, const TestEnv& env)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(x.environment(env.processEnvironment()));
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->start(qEnvironmentVariable("MT_PROGRAM"), QStringList());
        return p->waitForStarted(10000) ? std::move(p) : nullptr;
    }
    // A second start hands over to the running one and exits 0.
    bool handsOver(const XSession& x, const TestEnv& env)
    {
        auto second = start(x, env);
        return second && second->waitForFinished(15000) &&
               second->exitStatus() == QProcess::NormalExit && second->exitCode() == 0;
    }
};

void TestStartup::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("MT_PROGRAM"), "MT_PROGRAM is not set");
    QVERIFY2(XSession::toolsAvailable(), "Xvfb, xdotool and trayer are needed (scripts/setup.sh)");
}

void TestStartup::secondInstanceHandsOver()
{
    XSession x(true);
    QVERIFY2(x.isValid(), qPrintable(x.errorString()));
    TestEnv env;
    auto first = start(x, env);
    QVERIFY(first);
    QVERIFY2(waitUntil([&] { return !x.visibleWindows(kTitle).isEmpty(); }),
             "the first instance shows no window");
    const QString window = x.visibleWindows(kTitle).constFirst();

    // Escape closes the dialog: the program goes on in the tray with its window hidden.
    QVERIFY(x.key(window, QStringLiteral("Escape")));
    QVERIFY2(waitUntil([&] { return x.visibleWindows(kTitle).isEmpty(); }),
             "the window did not hide");
    QVERIFY(handsOver(x, env));
    QVERIFY2(waitUntil([&] { return x.visibleWindows(kTitle) == QStringList{window}; }),
             "the first window did not come back");
    QCOMPARE(first->state(), QProcess::Running);
    ChildProcess::stop(*first, 5000);
}

void TestStartup::staleLockAfterCrash()
{
    XSession x(true);
    QVERIFY2(x.isValid(), qPrintable(x.errorString()));
    TestEnv env;
    auto crashed = start(x, env);
    QVERIFY(crashed);
    QVERIFY(waitUntil([&] { return !x.visibleWindows(kTitle).isEmpty(); }));
    // SIGKILL leaves the lock file and the socket behind, as a crash would.
    ::kill(pid_t(crashed->processId()), SIGKILL);
    QVERIFY(crashed->waitForFinished(5000));
    QVERIFY(waitUntil([&] { return x.visibleWindows(kTitle).isEmpty(); }));
    QVERIFY2(!QDir(env.path(QStringLiteral("tmp"))).entryList({"*.lock"}, QDir::Files).isEmpty(),
             "the killed instance left no lock to test against");

    auto next = start(x, env);
    QVERIFY(next);
    QVERIFY2(waitUntil([&] { return !x.visibleWindows(kTitle).isEmpty(); }),
             "a stale lock blocked the next start");
    // And that new primary answers a third start.
    QVERIFY(handsOver(x, env));
    QCOMPARE(next->state(), QProcess::Running);
    ChildProcess::stop(*next, 5000);
}

void TestStartup::noTrayShowsBoxAndExitsOne()
{
    XSession x(false);
    QVERIFY2(x.isValid(), qPrintable(x.errorString()));
    TestEnv env;
    auto p = start(x, env);
    QVERIFY(p);
    QVERIFY2(waitUntil([&] { return !x.visibleWindows(kTitle).isEmpty(); }),
             "no message box appeared");
    const QStringList boxes = x.visibleWindows(kTitle);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(x.windowsOfPid(p->processId()).contains(boxes.first()));
    // The box closes while xdotool still talks to it, so its exit status says nothing here.
    x.key(boxes.first(), QStringLiteral("Return"));
    QVERIFY(p->waitForFinished(15000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 1);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
