// The idle lock without a session: which input restarts it, which settings start it, when it
// waits for a modal dialog or the settings dialog; and the one-notice-at-a-time gate.
#include "main/globaleventfilter.h"
#include "main/noticegate.h"

#include "account/boxanswerer.h"
#include "common/typed.h"
#include "widgets/mtmessagedialog.h"

#include <QApplication>
#include <QDialog>
#include <QtTest>

#include <functional>

namespace {
// What the gate did with three notices, the second coming while the first is up.
struct Notices
{
    QList<int> results;
    QStringList shown;
    QList<bool> openWhileUp;
    bool openAfter = true;
    int dropped = 0;
    MT_TYPED(Notices, results, shown, openWhileUp, openAfter, dropped)
};

} // namespace

class TestIdleLock : public QObject
{
    Q_OBJECT
private slots:
    void start_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<bool>("running");
        QTest::newRow("three minutes") << 3 << true;
        QTest::newRow("off") << -1 << false;
        QTest::newRow("zero") << 0 << false;
    }
    void start()
    {
        QFETCH(int, minutes);
        QFETCH(bool, running);
        GlobalEventFilter filter;
        filter.setLockTime(minutes);
        filter.startLockMode();
        QCOMPARE(filter.isRunning(), running);
    }

    void input_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("restarts");
        QTest::newRow("mouse press") << int(QEvent::MouseButtonPress) << true;
        QTest::newRow("mouse move") << int(QEvent::MouseMove) << true;
        QTest::newRow("key press") << int(QEvent::KeyPress) << true;
        QTest::newRow("wheel") << int(QEvent::Wheel) << true;
        QTest::newRow("hover enter") << int(QEvent::Enter) << false;
        QTest::newRow("focus") << int(QEvent::FocusIn) << false;
        QTest::newRow("paint") << int(QEvent::Paint) << false;
    }
    void input()
    {
        QFETCH(int, type);
        QFETCH(bool, restarts);
        GlobalEventFilter filter;
        qApp->installEventFilter(&filter);
        filter.setLockTime(1);
        filter.startLockMode();
        // Some of the minute has gone by.
        QTRY_VERIFY(filter.msecUntilLock() < 59900);
        const int before = filter.msecUntilLock();
        // A plain object: the filter sees every object's events and cannot mistake the bare
        // event for a real mouse or key event.
        QObject target;
        QEvent event{QEvent::Type(type)};
        QCoreApplication::sendEvent(&target, &event);
        QCOMPARE(filter.msecUntilLock() > before, restarts);
    }

    void inputWhileStoppedStartsNothing()
    {
        GlobalEventFilter filter;
        qApp->installEventFilter(&filter);
        QObject target;
        QEvent event(QEvent::KeyPress);
        QCoreApplication::sendEvent(&target, &event);
        QCOMPARE(filter.isRunning(), false);
    }

    void idleLock_data()
    {
        QTest::addColumn<int>("modality"); // of a dialog that is up meanwhile
        QTest::addColumn<bool>("suppressed");
        QTest::addColumn<QStringList>("events");
        const QStringList now = {"locked"};
        const QStringList waited = {"deferred", "deferred", "locked"};
        QTest::newRow("a plain window up") << int(Qt::NonModal) << false << now;
        QTest::newRow("application-modal box up") << int(Qt::ApplicationModal) << false << waited;
        QTest::newRow("window-modal box up") << int(Qt::WindowModal) << false << waited;
        QTest::newRow("settings dialog open") << int(Qt::NonModal) << true << waited;
    }
    void idleLock()
    {
        QFETCH(int, modality);
        QFETCH(bool, suppressed);
        QFETCH(QStringList, events);
        GlobalEventFilter filter;
        filter.setLockTimeout(20);
        filter.setSuppressed(suppressed);
        QDialog dialog;
        dialog.setWindowModality(Qt::WindowModality(modality));
        dialog.show();
        QStringList heard;
        // After two deferrals whatever held the lock back goes away.
        connect(&filter, &GlobalEventFilter::lockDeferred, this, [&] {
            heard << QStringLiteral("deferred");
            dialog.setVisible(heard.size() < 2);
            filter.setSuppressed(suppressed && heard.size() < 2);
        });
        connect(&filter, &GlobalEventFilter::lockMode, this, [&] { heard << "locked"; });
        filter.startLockMode();
        QTRY_VERIFY(heard.contains(QStringLiteral("locked")));
        QCOMPARE(heard, events);
        QCOMPARE(filter.isRunning(), false);
    }

    void oneNoticeAtATime()
    {
        NoticeGate gate;
        Notices seen;
        // While the first box is up the next failure comes, as a ping's would from a timer
        // inside the box's event loop.
        BoxAnswerer answerer([&] {
            seen.openWhileUp << gate.isOpen();
            seen.results << gate.information(nullptr, QStringLiteral("Server away again"));
        });
        seen.results << gate.information(nullptr, QStringLiteral("First notice"));
        seen.results << gate.information(nullptr, QStringLiteral("Later notice"));
        seen.shown = answerer.texts;
        seen.openAfter = gate.isOpen();
        seen.dropped = gate.droppedCount();
        const Notices expected{{NoticeGate::kDropped, 1, NoticeGate::kDropped, 1},
                               {"First notice", "Later notice"},
                               {true, true},
                               false,
                               2};
        QCOMPARE(seen, expected);
    }

    // A question the user must answer (take over, update) is never dropped: it shows on top of
    // a notice that is up, and its answer comes back.
    void questionOverANotice()
    {
        NoticeGate gate;
        QStringList asked;
        QVector<int> answers;
        BoxAnswerer answerer([&] {
            BoxAnswerer inner([] {});
            answers << gate.ask(
                [] { return MtMessageDialog::question(nullptr, QStringLiteral("Take over?")); });
            asked = inner.texts;
        });
        gate.information(nullptr, QStringLiteral("Server away"));
        QCOMPARE(asked, QStringList{"Take over?"});
        QCOMPARE(answers, QVector<int>{QDialog::Accepted});
    }
};

QTEST_MAIN(TestIdleLock)
#include "tst_idlelock.moc"
