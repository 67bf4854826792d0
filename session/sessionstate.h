#pragma once

#include <QString>

// Where the session of one login stands: the start-up step (m_processType), whether a session is
// up (m_login) and whether the lock page is showing (m_lock), and which login answer is awaited.
// Every change goes through apply(), so that the rules that keep the lock honest live in one
// place: the lock is left only by an answered login or unlock, a failed unlock changes nothing,
// and answers that arrive after log off or for a request nobody waits for are ignored.
class SessionState
{
public:
    enum ProcessType
    {
        ProcessNone = 0,
        ProcessManualLogin = 1,
        ProcessAutoLogin = 2,
        ProcessLocked = 3,
        ProcessCacheRefreshed = 4,
        ProcessReady = 6,
    };

    enum class Event
    {
        ManualLoginSent, // login page: the login request went out
        ForcedLoginSent, // the user took the session over after "already logged in"
        SessionRestored, // a stored session at start: up, but behind the lock page
        LoginAnswered,   // the login request succeeded and its keys are recorded
        LoginFailed,     // the login request failed (or the take-over was declined)
        LockRequested,   // idle lock or the menu
        UnlockSent,      // the lock page sent the password to the server
        UnlockAnswered,  // the server accepted it
        UnlockFailed,    // wrong password, network, anything else
        CacheAnswered,   // the directory cache is stored
        RoomsAnswered,   // the room list is stored
        VersionRefusedWithoutLink,
        FirstLoadFailed, // the directory or room list failed before the rooms were shown
        LogOff,
    };

    // Everything the state holds, comparable as one value.
    struct Snapshot
    {
        int processType = ProcessNone;
        bool login = false;
        bool lock = false;
        bool loginPending = false;
        bool unlockPending = false;
        bool operator==(const Snapshot& o) const
        {
            return processType == o.processType && login == o.login && lock == o.lock &&
                   loginPending == o.loginPending && unlockPending == o.unlockPending;
        }
        QString toString() const;
    };

    // What the window has to do after an event.
    struct Outcome
    {
        bool ignored = false;      // the event does not apply in this state
        bool showRoomList = false; // switch to the room list page
        bool requestCache = false; // refresh the directory (then the rooms)
        bool endLogin = false;     // the login did not get to its rooms: back to the login page
        bool relock = false;       // the unlock did not get to its rooms: back to the lock page
        bool operator==(const Outcome& o) const
        {
            return ignored == o.ignored && showRoomList == o.showRoomList &&
                   requestCache == o.requestCache && endLogin == o.endLogin && relock == o.relock;
        }
        QString toString() const;
    };

    SessionState() = default;
    explicit SessionState(const Snapshot& s) : m_s(s) {}

    Outcome apply(Event event);

    // Whether an answer (success or failure) of a request code still concerns this session.
    bool acceptsAnswer(int reqCode) const;

    // Whether the room list's answer, were it stored now, would switch to the room list.
    bool showsAnsweredRooms() const;

    int processType() const { return m_s.processType; }
    bool isLoggedIn() const { return m_s.login; }
    bool isLocked() const { return m_s.lock; }
    Snapshot snapshot() const { return m_s; }

    static const char* eventName(Event event);

private:
    Outcome roomsAnswered();

    Snapshot m_s;
};
