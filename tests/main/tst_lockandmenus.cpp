// The main window's rules that need no session: the idle lock (which input counts, when it waits
// for a modal dialog or the settings dialog), the tray and main menus per session state, and the
// one-notice-at-a-time gate for failure boxes.
#include "main/globaleventfilter.h"
#include "main/mainmenuitems.h"
#include "main/noticegate.h"

#include "widgets/mtmessagedialog.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(MainMenuItems::Menu)
Q_DECLARE_METATYPE(QList<MainMenuItems::Item>)

namespace {
const char* const kItemNames[] = {"Open",   "CreateChat", "LockMode", "Settings",
                                  "LogOff", "Exit",       "|"};
} // namespace

char* toString(const MainMenuItems::Menu& m)
{
    QStringList names;
    for (const MainMenuItems::Item item : m.items)
        names << QString::fromLatin1(kItemNames[item]);
    return QTest::toString(names.join(QLatin1Char(' ')) +
                           (m.styled ? QStringLiteral(" (styled)") : QString()));
}

namespace {
// What the idle lock reported, in order; once `releaseAfter` deferrals were heard, `release`
// lifts whatever held the lock back.
class LockWatch : public QObject
{
public:
    LockWatch(GlobalEventFilter* filter, int releaseAfter, std::function<void()> release)
    {
        connect(filter, &GlobalEventFilter::lockDeferred, this, [=] {
            m_events << QStringLiteral("deferred");
            if (m_events.size() == releaseAfter)
                release();
        });
        connect(filter, &GlobalEventFilter::lockMode, this,
                [this] { m_events << QStringLiteral("locked"); });
    }
    QStringList events() const { return m_events; }

private:
    QStringList m_events;
};

// Answers each message box with OK after running `whileUp` inside the box's event loop, and
// keeps the boxes' texts.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(std::function<void()> whileUp) : m_whileUp(std::move(whileUp))
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<MtMessageDialog*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || m_busy)
                return;
            m_busy = true;
            m_texts << box->text();
            m_whileUp();
            box->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            m_busy = false;
        });
        m_poll.start(10);
    }
    QStringList texts() const { return m_texts; }

private:
    std::function<void()> m_whileUp;
    QTimer m_poll;
    QStringList m_texts;
    bool m_busy = false;
};
} // namespace

class TestLockAndMenus : public QObject
{
    Q_OBJECT
private slots:
    void start_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("timeout");
        QTest::newRow("three minutes") << 3 << true << 180000;
        QTest::newRow("off") << -1 << false << -60000;
        QTest::newRow("zero") << 0 << false << 0;
    }
    void start()
    {
        QFETCH(int, minutes);
        QFETCH(bool, running);
        QFETCH(int, timeout);
        GlobalEventFilter filter;
        filter.setLockTime(minutes);
        filter.startLockMode();
        QCOMPARE(QVariantList({filter.isRunning(), filter.lockTimeout()}),
                 QVariantList({running, timeout}));
        filter.stopLockMode();
        QCOMPARE(filter.isRunning(), false);
    }

    void input_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("restarts");
        QTest::newRow("mouse press") << int(QEvent::MouseButtonPress) << true;
        QTest::newRow("mouse release") << int(QEvent::MouseButtonRelease) << true;
        QTest::newRow("double click") << int(QEvent::MouseButtonDblClick) << true;
        QTest::newRow("mouse move") << int(QEvent::MouseMove) << true;
        QTest::newRow("key press") << int(QEvent::KeyPress) << true;
        QTest::newRow("key release") << int(QEvent::KeyRelease) << true;
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
        // Any object of the application: the filter sees them all. A plain object, as it
        // cannot mistake the bare event for a real mouse or key event.
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
        LockWatch watch(&filter, 2, [&] {
            dialog.close();
            filter.setSuppressed(false);
        });
        filter.startLockMode();
        QTRY_VERIFY(watch.events().contains(QStringLiteral("locked")));
        QCOMPARE(watch.events(), events);
        QCOMPARE(filter.isRunning(), false);
    }

    void menus_data()
    {
        using M = MainMenuItems;
        QTest::addColumn<bool>("login");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<M::Menu>("tray");
        QTest::addColumn<M::Menu>("main");
        const M::Menu exitOnly = {{M::Exit}, false};
        QTest::newRow("logged out")
            << false << false << M::Menu{{M::Open, M::Separator, M::Exit}, false} << exitOnly;
        QTest::newRow("logged in")
            << true << false
            << M::Menu{{M::Open, M::Separator, M::LockMode, M::Separator, M::LogOff, M::Separator,
                        M::Exit},
                       false}
            << M::Menu{{M::CreateChat, M::Separator, M::LockMode, M::Separator, M::Settings,
                        M::Separator, M::LogOff, M::Separator, M::Exit},
                       true};
        QTest::newRow("locked") << true << true
                                << M::Menu{{M::Open, M::Separator, M::LogOff, M::Separator,
                                            M::Exit},
                                           false}
                                << exitOnly;
        QTest::newRow("locked after a failed unlock")
            << false << true
            << M::Menu{{M::Open, M::Separator, M::LogOff, M::Separator, M::Exit}, false}
            << exitOnly;
    }
    void menus()
    {
        QFETCH(bool, login);
        QFETCH(bool, lock);
        QFETCH(MainMenuItems::Menu, tray);
        QFETCH(MainMenuItems::Menu, main);
        QCOMPARE(MainMenuItems::trayMenu(login, lock), tray);
        QCOMPARE(MainMenuItems::mainMenu(login, lock), main);
    }

    void oneNoticeAtATime()
    {
        NoticeGate gate;
        QList<int> results;
        QList<bool> openWhileUp;
        // While the first box is up, the next failure comes (as a ping's would, from a timer
        // inside the box's event loop).
        BoxAnswerer answerer([&] {
            openWhileUp << gate.isOpen();
            results << gate.information(nullptr, QStringLiteral("Server away again"));
        });
        results << gate.information(nullptr, QStringLiteral("Please check network connection"));
        results << gate.information(nullptr, QStringLiteral("Later notice"));
        QCOMPARE(results, QList<int>({NoticeGate::kDropped, 1, NoticeGate::kDropped, 1}));
        QCOMPARE(answerer.texts(),
                 QStringList({"Please check network connection", "Later notice"}));
        QCOMPARE(openWhileUp, QList<bool>({true, true}));
        QCOMPARE(QVariantList({gate.isOpen(), gate.droppedCount()}), QVariantList({false, 2}));
    }
};

QTEST_MAIN(TestLockAndMenus)
#include "tst_lockandmenus.moc"
