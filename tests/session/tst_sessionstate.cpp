#include "session/sessionrequest.h"
#include "session/sessionstate.h"

#include <QtTest>

using S = SessionState;
using E = SessionState::Event;
Q_DECLARE_METATYPE(SessionState::Snapshot)
Q_DECLARE_METATYPE(SessionState::Outcome)
Q_DECLARE_METATYPE(SessionState::Event)

namespace QTest {
template <>
inline char* toString(const SessionState::Snapshot& s)
{
    return qstrdup(qPrintable(s.toString()));
}
template <>
inline char* toString(const SessionState::Outcome& o)
{
    return qstrdup(qPrintable(o.toString()));
}
} // namespace QTest

namespace {
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
} // namespace

// The session's state machine: (state, event) -> (state, what the window does).
class TestSessionState : public QObject
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

        QTest::newRow("login sent") << out << E::ManualLoginSent << sent << done();
        QTest::newRow("login sent while a session is up")
            << ready << E::ManualLoginSent << ready << kIgnored;
        QTest::newRow("login answered asks for the cache")
            << sent << E::LoginAnswered << up << done(false, true);
        QTest::newRow("login answer nobody waits for")
            << out << E::LoginAnswered << out << kIgnored;
        QTest::newRow("failed login returns to the login page")
            << sent << E::LoginFailed << out << done();
        QTest::newRow("cache after login keeps the manual type")
            << up << E::CacheAnswered << up << done();
        QTest::newRow("rooms after login show the list")
            << up << E::RoomsAnswered << ready << done(true);
        QTest::newRow("restored session is up behind the lock")
            << out << E::SessionRestored << locked << done();
        QTest::newRow("lock") << ready << E::LockRequested << locked << done();
        QTest::newRow("lock without a session") << out << E::LockRequested << out << kIgnored;
        QTest::newRow("unlock sent") << locked << E::UnlockSent << unlocking << done();
        QTest::newRow("unlock answered asks for the cache")
            << unlocking << E::UnlockAnswered << st(3, true, false) << done(false, true);
        QTest::newRow("unlock answered once the rooms are in shows the list")
            << st(6, true, true, false, true) << E::UnlockAnswered << ready << done(true);
        QTest::newRow("failed unlock keeps login and lock")
            << unlocking << E::UnlockFailed << locked << done();
        QTest::newRow("unlock answer without an unlock sent")
            << locked << E::UnlockAnswered << locked << kIgnored;
        QTest::newRow("cache after unlock")
            << st(3, true, false) << E::CacheAnswered << st(4, true, false) << done();
        QTest::newRow("rooms after unlock show the list")
            << st(4, true, false) << E::RoomsAnswered << ready << done(true);
        QTest::newRow("rooms while locked keep the lock page")
            << st(4, true, true) << E::RoomsAnswered << st(6, true, true) << done(false);
        QTest::newRow("lock during the first answers, rooms arrive")
            << st(1, true, true) << E::RoomsAnswered << st(6, true, true) << done(false);
        QTest::newRow("version refused without link while locked")
            << locked << E::VersionRefusedWithoutLink << locked << kIgnored;
        QTest::newRow("version refused without link after unlock shows stored rooms")
            << st(3, true, false) << E::VersionRefusedWithoutLink << ready << done(true);
        QTest::newRow("version refused without link when ready")
            << ready << E::VersionRefusedWithoutLink << ready << kIgnored;
        QTest::newRow("take-over from the lock page")
            << unlocking << E::ForcedLoginSent << st(3, false, true, true) << done();
        QTest::newRow("take-over answered leaves the lock")
            << st(3, false, true, true) << E::LoginAnswered << st(3, true, false)
            << done(false, true);
        QTest::newRow("cache answer after log off") << out << E::CacheAnswered << out << kIgnored;
        QTest::newRow("rooms answer after log off") << out << E::RoomsAnswered << out << kIgnored;
        QTest::newRow("log off from the lock page") << unlocking << E::LogOff << out << done();
        QTest::newRow("log off during login") << sent << E::LogOff << out << done();
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
        QTest::newRow("login awaited") << st(1, false, false, true) << int(Login) << true;
        QTest::newRow("login not awaited") << st(6, true, false) << int(Login) << false;
        QTest::newRow("unlock awaited") << st(3, true, true, false, true) << int(Unlock) << true;
        QTest::newRow("unlock not awaited") << st(3, true, true) << int(Unlock) << false;
        QTest::newRow("cache in session") << st(1, true, false) << int(Cache) << true;
        QTest::newRow("cache after log off") << st(0, false, false) << int(Cache) << false;
        QTest::newRow("rooms after log off") << st(0, false, false) << int(Rooms) << false;
        QTest::newRow("ping while locked") << st(3, true, true) << int(Ping) << true;
        QTest::newRow("room after log off") << st(0, false, false) << int(Room) << false;
    }
    void acceptsAnswer()
    {
        QFETCH(S::Snapshot, state);
        QFETCH(int, reqCode);
        QFETCH(bool, accepted);
        QCOMPARE(S(state).acceptsAnswer(reqCode), accepted);
    }
};

QTEST_GUILESS_MAIN(TestSessionState)
#include "tst_sessionstate.moc"
