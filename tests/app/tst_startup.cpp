// The whole program on a real X display: hand-over, and a stale lock after a crash.
#include "common/childprocess.h"
#include "common/testenv.h"
#include "common/xsession.h"

#include <QtTest>

#include <memory>
#include <signal.h>

namespace {
const QString kTitle = QStringLiteral("^PLOVEX\\(Chat\\)$");
constexpr int kWait = 15000;

std::unique_ptr<QProcess> start(const XSession& x, const TestEnv& env)
{
    return x.start(qEnvironmentVariable("MT_PROGRAM"), env.processEnvironment());
}

// A second start hands over to the running one and exits 0.
bool handsOver(const XSession& x, const TestEnv& env)
{
    auto second = start(x, env);
    return second && second->waitForFinished(kWait) &&
           second->exitStatus() == QProcess::NormalExit && second->exitCode() == 0;
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void handOverThenStaleLock()
    {
        XSession x(true); // Xvfb, xdotool and trayer come with scripts/setup.sh
        QVERIFY2(x.isValid(), qPrintable(x.errorString()));
        TestEnv env;
        auto first = start(x, env);
        QVERIFY2(first, "MT_PROGRAM does not start");
        QTRY_VERIFY2_WITH_TIMEOUT(!x.visibleWindows(kTitle).isEmpty(), "no first window", kWait);
        const QString window = x.visibleWindows(kTitle).constFirst();
        // Escape closes the dialog: the program goes on in the tray with its window hidden.
        QVERIFY(x.key(window, QStringLiteral("Escape")));
        QTRY_VERIFY2_WITH_TIMEOUT(x.visibleWindows(kTitle).isEmpty(), "the window stays", kWait);
        QVERIFY(handsOver(x, env));
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(kTitle), QStringList{window}, kWait);

        // SIGKILL leaves the lock file and the socket behind, as a crash would.
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY2(first->waitForFinished(5000), "the first instance was no longer running");
        QTRY_VERIFY_WITH_TIMEOUT(x.visibleWindows(kTitle).isEmpty(), kWait);
        QVERIFY2(
            !QDir(env.path(QStringLiteral("runtime"))).entryList({"*.lock"}, QDir::Files).isEmpty(),
            "the killed instance left no lock to test against");
        auto next = start(x, env);
        QVERIFY(next);
        QTRY_VERIFY2_WITH_TIMEOUT(!x.visibleWindows(kTitle).isEmpty(), "the stale lock blocks",
                                  kWait);
        // And that new primary answers a third start.
        QVERIFY(handsOver(x, env));
        ChildProcess::stop(*next, 5000);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
