#include "session/sessionstate.h"

#include "session/sessionrequest.h"

QString SessionState::Snapshot::toString() const
{
    return QStringLiteral("type=%1 login=%2 lock=%3 loginPending=%4 unlockPending=%5")
        .arg(processType)
        .arg(login)
        .arg(lock)
        .arg(loginPending)
        .arg(unlockPending);
}

QString SessionState::Outcome::toString() const
{
    return QStringLiteral("ignored=%1 showRoomList=%2 requestCache=%3 endLogin=%4 relock=%5")
        .arg(ignored)
        .arg(showRoomList)
        .arg(requestCache)
        .arg(endLogin)
        .arg(relock);
}

bool SessionState::showsAnsweredRooms() const
{
    // A lock taken while the first answers were in flight stays: only an unlock leaves it.
    return m_s.login &&
           (m_s.processType == ProcessManualLogin || m_s.processType == ProcessCacheRefreshed) &&
           !m_s.lock;
}

SessionState::Outcome SessionState::roomsAnswered()
{
    Outcome out;
    out.showRoomList = showsAnsweredRooms();
    m_s.processType = ProcessReady;
    return out;
}

SessionState::Outcome SessionState::apply(Event event)
{
    Outcome out;
    switch (event) {
    case Event::ManualLoginSent:
        if (m_s.login) {
            out.ignored = true;
            break;
        }
        m_s.processType = ProcessManualLogin;
        m_s.loginPending = true;
        break;
    case Event::ForcedLoginSent:
        m_s.loginPending = true;
        m_s.unlockPending = false;
        m_s.login = false;
        break;
    case Event::SessionRestored:
        if (m_s.login) {
            out.ignored = true;
            break;
        }
        m_s.processType = ProcessLocked;
        m_s.login = true;
        m_s.lock = true;
        break;
    case Event::LoginAnswered:
        if (!m_s.loginPending) {
            out.ignored = true;
            break;
        }
        m_s.loginPending = false;
        m_s.login = true;
        m_s.lock = false;
        out.requestCache = true;
        break;
    case Event::LoginFailed:
        if (!m_s.loginPending) {
            out.ignored = true;
            break;
        }
        m_s.loginPending = false;
        m_s.login = false;
        if (m_s.processType == ProcessManualLogin)
            m_s.processType = ProcessNone;
        break;
    case Event::LockRequested:
        if (!m_s.login || m_s.lock) {
            out.ignored = true;
            break;
        }
        m_s.lock = true;
        m_s.processType = ProcessLocked;
        break;
    case Event::UnlockSent:
        if (!m_s.lock) {
            out.ignored = true;
            break;
        }
        m_s.unlockPending = true;
        break;
    case Event::UnlockAnswered:
        if (!m_s.unlockPending) {
            out.ignored = true;
            break;
        }
        m_s.unlockPending = false;
        m_s.lock = false;
        m_s.login = true;
        out.requestCache = m_s.processType == ProcessLocked;
        out.showRoomList = m_s.processType == ProcessReady;
        break;
    case Event::UnlockFailed:
        // A wrong password leaves the session as it was: still up, still locked.
        out.ignored = !m_s.unlockPending;
        m_s.unlockPending = false;
        break;
    case Event::CacheAnswered:
        if (!m_s.login) {
            out.ignored = true;
            break;
        }
        if (m_s.processType == ProcessLocked)
            m_s.processType = ProcessCacheRefreshed;
        break;
    case Event::RoomsAnswered:
        if (!m_s.login) {
            out.ignored = true;
            break;
        }
        out = roomsAnswered();
        break;
    case Event::VersionRefusedWithoutLink:
        // The stored rooms are shown only when no lock is up; a refusal never unlocks.
        if (m_s.lock || m_s.processType != ProcessLocked || !m_s.login) {
            out.ignored = true;
            break;
        }
        m_s.processType = ProcessCacheRefreshed;
        out = roomsAnswered();
        break;
    case Event::FirstLoadFailed:
        // A login or unlock counts as done only once its rooms are shown: until then a failed
        // directory or room list puts the user back where the attempt started, so that the next
        // attempt is taken instead of ignored.
        if (!m_s.login || m_s.lock || m_s.processType == ProcessReady) {
            out.ignored = true;
            break;
        }
        if (m_s.processType == ProcessManualLogin) {
            m_s = Snapshot();
            out.endLogin = true;
            break;
        }
        m_s.lock = true;
        m_s.processType = ProcessLocked;
        out.relock = true;
        break;
    case Event::LogOff:
        m_s = Snapshot();
        break;
    }
    return out;
}

bool SessionState::acceptsAnswer(int reqCode) const
{
    switch (reqCode) {
    case SessionRequest::Login:
        return m_s.loginPending;
    case SessionRequest::Unlock:
        return m_s.unlockPending;
    default:
        return m_s.login;
    }
}

const char* SessionState::eventName(Event event)
{
    switch (event) {
    case Event::ManualLoginSent:
        return "ManualLoginSent";
    case Event::ForcedLoginSent:
        return "ForcedLoginSent";
    case Event::SessionRestored:
        return "SessionRestored";
    case Event::LoginAnswered:
        return "LoginAnswered";
    case Event::LoginFailed:
        return "LoginFailed";
    case Event::LockRequested:
        return "LockRequested";
    case Event::UnlockSent:
        return "UnlockSent";
    case Event::UnlockAnswered:
        return "UnlockAnswered";
    case Event::UnlockFailed:
        return "UnlockFailed";
    case Event::CacheAnswered:
        return "CacheAnswered";
    case Event::RoomsAnswered:
        return "RoomsAnswered";
    case Event::VersionRefusedWithoutLink:
        return "VersionRefusedWithoutLink";
    case Event::FirstLoadFailed:
        return "FirstLoadFailed";
    case Event::LogOff:
        return "LogOff";
    }
    return "?";
}
