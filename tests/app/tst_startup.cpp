// The whole program on a real X display: the single-instance hand-over between two processes, a
// stale lock after a crash, and the start without a system tray.
#include "common/childprocess.h"
#include "common/testenv.h"
#include "common/xsession.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <signal.h>

namespace {
const QString kTitle = QStringLiteral("^PLOVEX\\(Chat\\)$");

QString program()
{
    return qEnvironmentVariable("MT_PROGRAM");
}

// Polls an X property of the session until it holds or the time is up.
template <typename F>
bool waitUntil(F condition, int ms = 15000)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QThread::msleep(100);
    }
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
    void startProgram(QProcess& p, const XSession& x, const TestEnv& env)
    {
        p.setProcessEnvironment(x.environment(env.processEnvironment()));
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(program(), QStringList());
        QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
    }
};

void TestStartup::initTestCase()
{
    QVERIFY2(!program().isEmpty(), "MT_PROGRAM is not set");
    QVERIFY2(XSession::toolsAvailable(), "Xvfb, xdotool and trayer are needed (scripts/setup.sh)");
}

void TestStartup::secondInstanceHandsOver()
{
    XSession x(true);
    QVERIFY2(x.isValid(), qPrintable(x.errorString()));
    TestEnv env;

    QProcess first;
    startProgram(first, x, env);
    QVERIFY2(waitUntil([&] { return !x.visibleWindows(kTitle).isEmpty(); }),
             "the first instance shows no window");
    const QString window = x.visibleWindows(kTitle).constFirst();

    // Escape closes the dialog: the program goes on in the tray with its window hidden.
    QVERIFY(x.key(window, QStringLiteral("Escape")));
    QVERIFY2(waitUntil([&] { return x.visibleWindows(kTitle).isEmpty(); }),
             "the window did not hide");
    QCOMPARE(first.state(), QProcess::Running);

    QProcess second;
    startProgram(second, x, env);
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);

    QVERIFY2(waitUntil([&] { return x.visibleWindows(kTitle) == QStringList{window}; }),
             "the first window did not come back");
    QCOMPARE(first.state(), QProcess::Running);
    ChildProcess::stop(first, 5000);
}

void TestStartup::staleLockAfterCrash()
{
    XSession x(true);
    QVERIFY2(x.isValid(), qPrintable(x.errorString()));
    TestEnv env;

    QProcess crashed;
    startProgram(crashed, x, env);
    QVERIFY(waitUntil([&] { return !x.visibleWindows(kTitle).isEmpty(); }));
    // SIGKILL leaves the lock file and the socket behind, as a crash would.
    ::kill(pid_t(crashed.processId()), SIGKILL);
    QVERIFY(crashed.waitForFinished(5000));
    QVERIFY(waitUntil([&] { return x.visibleWindows(kTitle).isEmpty(); }));
    QDir tmp(env.path(QStringLiteral("tmp")));
    QVERIFY2(!tmp.entryList({QStringLiteral("*.lock")}, QDir::Files).isEmpty(),
             "the killed instance left no lock to test against");

    QProcess next;
    startProgram(next, x, env);
    QVERIFY2(waitUntil([&] { return !x.visibleWindows(kTitle).isEmpty(); }),
             "a stale lock blocked the next start");
    QCOMPARE(next.state(), QProcess::Running);

    // And that new primary answers a third start.
    QProcess third;
    startProgram(third, x, env);
    QVERIFY(third.waitForFinished(15000));
    QCOMPARE(third.exitCode(), 0);
    QCOMPARE(next.state(), QProcess::Running);
    ChildProcess::stop(next, 5000);
}

void TestStartup::noTrayShowsBoxAndExitsOne()
{
    XSession x(false);
    QVERIFY2(x.isValid(), qPrintable(x.errorString()));
    TestEnv env;

    QProcess p;
    startProgram(p, x, env);
    QVERIFY2(waitUntil([&] { return !x.visibleWindows(kTitle).isEmpty(); }),
             "no message box appeared");
    const QStringList boxes = x.visibleWindows(kTitle);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(x.windowsOfPid(p.processId()).contains(boxes.first()));
    // The box closes while xdotool still talks to it, so its exit status says nothing here.
    x.key(boxes.first(), QStringLiteral("Return"));
    QVERIFY(p.waitForFinished(15000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
