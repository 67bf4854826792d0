#include "common/typed.h"
#include "common/wait.h"
#include "session/mtcoalescer.h"
#include "session/mtroompresence.h"
#include "session/notificationdecision.h"
#include "session/sessionrequest.h"
#include "session/sessionstate.h"

#include <QtTest>

#include <functional>
#include <thread>

using Notice = NotificationDecision::Notice;
using Facts = NotificationDecision::Facts;
using S = SessionState;
using E = SessionState::Event;
Q_DECLARE_METATYPE(SessionState::Snapshot)
Q_DECLARE_METATYPE(SessionState::Outcome)
Q_DECLARE_METATYPE(SessionState::Event)
Q_DECLARE_METATYPE(Notice)
Q_DECLARE_METATYPE(Facts)

// Printers for QCOMPARE, found by argument-dependent lookup.
#define MT_PRINTS(Type)                                                                            \
    inline char* toString(const Type& v)                                                           \
    {                                                                                              \
        return qstrdup(qPrintable(v.toString()));                                                  \
    }
MT_PRINTS(Notice)
MT_PRINTS(SessionState::Snapshot)
MT_PRINTS(SessionState::Outcome)

namespace {
// A chat from a known colleague while the session is up, changed by `change`.
template <typename F>
Facts with(F change)
{
    Facts f;
    f.login = f.senderKnown = true;
    change(f);
    return f;
}

// What the receiving side and the window read of the presence, as one value.
struct PresenceView
{
    bool inRoom = false;
    bool active = false;
    MT_TYPED(PresenceView, inRoom, active)
};

// A step on the presence of "chat/1" (the clock given to move it).
using Step = std::function<void(MtRoomPresence&, qint64& now)>;
Step enter(const char* client)
{
    return [=](MtRoomPresence& p, qint64&) { p.enter(QStringLiteral("chat/1"), client); };
}
Step leave(const char* client)
{
    return [=](MtRoomPresence& p, qint64&) { p.leave(QStringLiteral("chat/1"), client); };
}
const Step kActive = [](MtRoomPresence& p, qint64&) { p.setActiveTopic(QStringLiteral("chat/1")); };

S::Snapshot st(int type, bool login, bool lock, bool loginPending = false,
               bool unlockPending = false)
{
    return {type, login, lock, loginPending, unlockPending};
}
S::Outcome done(bool showRoomList = false, bool requestCache = false)
{
    return {false, showRoomList, requestCache};
}
const S::Outcome kIgnored{true, false, false};

// A data row of the values in column order.
template <typename... T>
void row(const char* name, const T&... values)
{
    (QTest::newRow(name) << ... << values);
}

// Fired() while the pokes still came, and after the last one.
struct Fired
{
    bool whilePoking = false;
    int after = 0;
    MT_TYPED(Fired, whilePoking, after)
};
// `pokes` pokes `everyMs` apart through the event loop, the run cancelled after the last or not.
struct PokeRow
{
    int delayMs = 0, maxWaitMs = 0, pokes = 0, everyMs = 0;
    bool cancel = false;
    Fired fired;
};

// The sentinel is due well after anything the run can still owe: at most the delay after its
// last poke.
Fired pokeRun(const PokeRow& row)
{
    MtCoalescer coalescer(row.delayMs, row.maxWaitMs);
    QSignalSpy fired(&coalescer, &MtCoalescer::fired);
    QTimer poker;
    int poked = 0, whilePoking = 0;
    bool sentinel = false;
    QObject::connect(&poker, &QTimer::timeout, [&] {
        coalescer.poke();
        if (++poked < row.pokes)
            return;
        poker.stop();
        whilePoking = fired.count();
        if (row.cancel)
            coalescer.cancel();
        QTimer::singleShot(row.delayMs * 3 / 2, Qt::PreciseTimer, [&] { sentinel = true; });
    });
    poker.start(row.everyMs);
    waitUntil([&] { return sentinel; });
    return {whilePoking > 0, int(fired.count()) - whilePoking};
}
} // namespace
Q_DECLARE_METATYPE(PokeRow)
Q_DECLARE_METATYPE(PresenceView)
Q_DECLARE_METATYPE(QList<Step>)

// The session's decisions without a display: states, notices, presence, refreshes.
class TestSessionDecisions : public QObject
{
    Q_OBJECT
private slots:
    void transitions_data()
    {
        QTest::addColumn<S::Snapshot>("before");
        QTest::addColumn<E>("event");
        QTest::addColumn<S::Snapshot>("after");
        QTest::addColumn<S::Outcome>("outcome");

        const S::Snapshot out = st(0, false, false);
        const S::Snapshot sent = st(1, false, false, true);
        const S::Snapshot up = st(1, true, false);
        const S::Snapshot ready = st(6, true, false);
        const S::Snapshot locked = st(3, true, true);
        const S::Snapshot unlocking = st(3, true, true, false, true);
        const S::Snapshot unlocked = st(3, true, false), cached = st(4, true, false);
        const E refused = E::VersionRefusedWithoutLink;

        row("login sent while a session is up", ready, E::ManualLoginSent, ready, kIgnored);
        row("login answer nobody waits for", out, E::LoginAnswered, out, kIgnored);
        row("failed login returns to the login page", sent, E::LoginFailed, out, done());
        row("rooms after login show the list", up, E::RoomsAnswered, ready, done(true));
        row("lock without a session", out, E::LockRequested, out, kIgnored);
        row("unlock answered once the rooms are in shows the list", st(6, true, true, false, true),
            E::UnlockAnswered, ready, done(true));
        row("unlock answer without an unlock sent", locked, E::UnlockAnswered, locked, kIgnored);
        row("rooms after unlock show the list", cached, E::RoomsAnswered, ready, done(true));
        row("lock during the first answers, rooms arrive", st(1, true, true), E::RoomsAnswered,
            st(6, true, true), done(false));
        row("version refused without link while locked", locked, refused, locked, kIgnored);
        row("version refused without link after unlock shows stored rooms", unlocked, refused,
            ready, done(true));
        row("version refused without link when ready", ready, refused, ready, kIgnored);
        row("take-over from the lock page", unlocking, E::ForcedLoginSent, st(3, false, true, true),
            done());
        row("take-over answered leaves the lock", st(3, false, true, true), E::LoginAnswered,
            unlocked, done(false, true));
        row("rooms answer after log off", out, E::RoomsAnswered, out, kIgnored);
        // A directory or room list that fails before the rooms were shown.
        S::Outcome endLogin = done(), relock = done();
        endLogin.endLogin = relock.relock = true;
        row("first load failed after login", up, E::FirstLoadFailed, out, endLogin);
        row("first load failed after unlock", unlocked, E::FirstLoadFailed, locked, relock);
        row("first load failed after the cache of an unlock", cached, E::FirstLoadFailed, locked,
            relock);
        row("load failed once ready", ready, E::FirstLoadFailed, ready, kIgnored);
        row("load failed while locked", locked, E::FirstLoadFailed, locked, kIgnored);
        QTest::newRow("log off from the lock page") << unlocking << E::LogOff << out << done();
    }
    void transitions()
    {
        QFETCH(S::Snapshot, before);
        QFETCH(E, event);
        QFETCH(S::Snapshot, after);
        QFETCH(S::Outcome, outcome);
        S state(before);
        QCOMPARE(state.apply(event), outcome);
        QCOMPARE(state.snapshot(), after);
    }

    void acceptsAnswer_data()
    {
        QTest::addColumn<S::Snapshot>("state");
        QTest::addColumn<int>("reqCode");
        QTest::addColumn<bool>("accepted");
        using namespace SessionRequest;
        row("login awaited", st(1, false, false, true), int(Login), true);
        row("login not awaited", st(6, true, false), int(Login), false);
        row("unlock awaited", st(3, true, true, false, true), int(Unlock), true);
        row("unlock not awaited", st(3, true, true), int(Unlock), false);
        QTest::newRow("ping while locked") << st(3, true, true) << int(Ping) << true;
    }
    void acceptsAnswer()
    {
        QFETCH(S::Snapshot, state);
        QFETCH(int, reqCode);
        QFETCH(bool, accepted);
        QCOMPARE(S(state).acceptsAnswer(reqCode), accepted);
    }

    void notification_data()
    {
        QTest::addColumn<Facts>("facts");
        QTest::addColumn<Notice>("expected");
        using N = NotificationDecision;
        row("toast and sound by default", with([](Facts&) {}), Notice{true, true, true});
        row("alarm type window", with([](Facts& f) { f.alarmType = N::AlarmWindow; }),
            Notice{true, true, false});
        row("alarm type sound", with([](Facts& f) { f.alarmType = N::AlarmSound; }),
            Notice{true, false, true});
        row("own chat from another session", with([](Facts& f) { f.own = true; }),
            Notice{false, false, false});
        row("read at once", with([](Facts& f) { f.read = true; }), Notice{false, false, false});
        row("another session inside the room", with([](Facts& f) { f.inRoom = true; }),
            Notice{false, false, false});
        row("no session", with([](Facts& f) { f.login = false; }), Notice{false, false, false});
        row("locked: flash only", with([](Facts& f) { f.lock = true; }),
            Notice{true, false, false});
        row("bell off", with([](Facts& f) { f.alarm = false; }), Notice{true, false, false});
        row("room muted", with([](Facts& f) { f.topicAlarm = false; }), Notice{true, false, false});
        QTest::newRow("unknown sender")
            << with([](Facts& f) { f.senderKnown = false; }) << Notice{true, false, false};
    }
    void notification()
    {
        QFETCH(Facts, facts);
        QFETCH(Notice, expected);
        QCOMPARE(NotificationDecision::decide(facts), expected);
    }

    // Steps on the presence, then what it answers for room "chat/1" at a given time.
    void presence_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<qint64>("askedAt");
        QTest::addColumn<PresenceView>("expected");
        using L = QList<Step>;
        row("own client id never counts", L{enter("me")}, qint64(10), PresenceView{false, false});
        row("one of two left", L{enter("phone"), enter("tablet"), leave("phone")}, qint64(10),
            PresenceView{true, false});
        row("expired", L{enter("phone")}, qint64(1000), PresenceView{false, false});
        row("refreshed by here before expiry",
            L{enter("phone"), [](MtRoomPresence&, qint64& now) { now = 900; }, enter("phone")},
            qint64(1000), PresenceView{true, false});
        row("room dropped",
            L{enter("phone"), [](MtRoomPresence& p, qint64&) { p.dropRoom("chat/1"); }}, qint64(10),
            PresenceView{false, false});
        row("cleared at log off",
            L{enter("phone"), kActive, [](MtRoomPresence& p, qint64&) { p.clear(); }}, qint64(10),
            PresenceView{false, false});
        QTest::newRow("active window") << L{kActive} << qint64(10) << PresenceView{false, true};
    }
    void presence()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(qint64, askedAt);
        QFETCH(PresenceView, expected);
        qint64 now = 0;
        MtRoomPresence presence(500, [&now] { return now; });
        presence.setOwnClientId(QStringLiteral("me"));
        for (const Step& step : qAsConst(steps))
            step(presence, now);
        now = askedAt;
        const QString topic = QStringLiteral("chat/1");
        QCOMPARE((PresenceView{presence.isInRoom(topic), presence.isActiveChatWindow(topic)}),
                 expected);
    }

    // Read by the delivery thread while the GUI thread writes (real in the thread-sanitizer build).
    void presenceAcrossThreads()
    {
        MtRoomPresence presence;
        std::atomic<bool> stop{false};
        std::atomic<int> asked{0};
        std::thread reader([&] {
            while (!stop) {
                presence.isInRoom(QStringLiteral("chat/1"));
                presence.isActiveChatWindow(QStringLiteral("chat/1"));
                ++asked;
            }
        });
        // The sentinel: the reader is asking before the writes begin.
        QTRY_VERIFY(asked > 0);
        for (int i = 0; i < 500; ++i) {
            presence.enter(QStringLiteral("chat/1"), QStringLiteral("phone"));
            presence.setActiveTopic(QStringLiteral("chat/%1").arg(i % 3));
            presence.leave(QStringLiteral("chat/1"), QStringLiteral("phone"));
        }
        presence.enter(QStringLiteral("chat/1"), QStringLiteral("phone"));
        stop = true;
        reader.join();
        QCOMPARE(presence.isInRoom(QStringLiteral("chat/1")), true);
    }

    // The room list's and the notices' refreshes: a burst is one, a busy stream is not starved.
    void coalescing_data()
    {
        QTest::addColumn<PokeRow>("row");
        QTest::newRow("a burst folds into one") << PokeRow{100, 5000, 5, 10, false, {false, 1}};
        QTest::newRow("a stream that never pauses fires while it lasts")
            << PokeRow{50, 150, 40, 10, false, {true, 1}};
        QTest::newRow("a cancelled run never fires") << PokeRow{100, 5000, 5, 10, true, {false, 0}};
    }
    void coalescing()
    {
        QFETCH(PokeRow, row);
        QCOMPARE(pokeRun(row), row.fired);
    }
};

QTEST_GUILESS_MAIN(TestSessionDecisions)
#include "tst_sessiondecisions.moc"
