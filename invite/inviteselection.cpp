#include "invite/inviteselection.h"

#include <QStringList>

void InviteSelection::setRoom(const QString& members, int roomType)
{
    m_roomType = roomType;
    m_fixed.clear();
    m_chosen.clear();
    const bool oneToMany = roomType == 30;
    // A left one-to-one room (40) fixes its partner exactly as a present one (20) does, so that
    // a search can never un-choose the partner of the new room.
    const bool oneToOne = roomType == 20 || roomType == 40;
    if (!oneToMany && !oneToOne)
        return;
    const QStringList ids =
        oneToMany ? members.split(QLatin1Char(','), Qt::SkipEmptyParts) : QStringList{members};
    for (const QString& text : ids) {
        bool ok = false;
        const qint64 id = text.trimmed().toLongLong(&ok);
        if (!ok || id <= 0 || m_fixed.contains(id))
            continue;
        m_fixed.append(id);
        if (oneToOne)
            break;
    }
    m_chosen = m_fixed;
}

InviteSelection::Availability InviteSelection::availability(bool appInstall, bool chattAllow,
                                                            bool fixed)
{
    if (fixed)
        return FixedMember;
    if (!appInstall)
        return NotInstalled;
    if (!chattAllow)
        return DeclinesChats;
    return Available;
}

bool InviteSelection::toggle(qint64 userId, bool appInstall, bool chattAllow)
{
    if (availability(appInstall, chattAllow, isFixed(userId)) != Available)
        return false;
    const int at = m_chosen.indexOf(userId);
    if (at >= 0)
        m_chosen.remove(at);
    else
        m_chosen.append(userId);
    return true;
}

bool InviteSelection::remove(qint64 userId)
{
    if (isFixed(userId))
        return false;
    return m_chosen.removeOne(userId);
}

InviteOutcome InviteSelection::outcome() const
{
    QList<int> ids;
    if (m_roomType == 30 && !m_fixed.isEmpty()) {
        for (qint64 id : m_chosen) {
            if (!m_fixed.contains(id))
                ids.append(int(id));
        }
        // Nobody new: the server would refuse an empty invitation, so nothing is sent.
        return ids.isEmpty() ? InviteOutcome{InviteOutcome::CloseOnly, {}}
                             : InviteOutcome{InviteOutcome::AddMembers, ids};
    }
    if (m_chosen.isEmpty())
        return {InviteOutcome::StayOpen, {}};
    for (qint64 id : m_chosen)
        ids.append(int(id));
    return {InviteOutcome::NewRoom, ids};
}
