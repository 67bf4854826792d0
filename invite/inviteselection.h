#pragma once

#include <QList>
#include <QString>
#include <QVector>

// What pressing OK in the invitation dialog leads to.
struct InviteOutcome
{
    enum Kind
    {
        StayOpen,   // nobody chosen for a new room: the dialog stays
        CloseOnly,  // a one-to-many room with nobody new: nothing is sent
        NewRoom,    // `userIds` become a new room (a one-to-one partner first)
        AddMembers, // `userIds` are added to the one-to-many room
    };
    Kind kind = StayOpen;
    QList<int> userIds;

    bool operator==(const InviteOutcome& o) const { return kind == o.kind && userIds == o.userIds; }
};

// The people chosen in the invitation dialog, kept apart from any widget. The chosen list and
// the check marks are one state: a row is checked exactly when its user is in `chosen()`.
// Members of the room are fixed: chosen from the start, never removed, in the order the room
// names them.
class InviteSelection
{
public:
    // Why a person can or cannot be chosen.
    enum Availability
    {
        Available,
        NotInstalled,  // has not installed the client
        DeclinesChats, // installed, but refuses chats
        FixedMember,   // already in the room
    };

    static constexpr int kNewConversation = -1;

    // `members`: comma-separated user ids for a one-to-many room (type 30), the partner's id for
    // a one-to-one room (20) or a left one (40), empty for a new conversation (-1). Resets the
    // choice to the fixed members. Ids that are not integers are left out.
    void setRoom(const QString& members, int roomType);

    int roomType() const { return m_roomType; }
    // The fixed members in the order of the members text.
    const QVector<qint64>& fixedIds() const { return m_fixed; }
    bool isFixed(qint64 userId) const { return m_fixed.contains(userId); }

    static Availability availability(bool appInstall, bool chattAllow, bool fixed);

    // Chooses or un-chooses a person who is available; false (and nothing changes) otherwise.
    bool toggle(qint64 userId, bool appInstall, bool chattAllow);
    // Takes a chosen person out (the chip's remove button); fixed members stay. False when the
    // user was not removable.
    bool remove(qint64 userId);

    bool isChosen(qint64 userId) const { return m_chosen.contains(userId); }
    // Fixed members first, then the others in the order they were chosen.
    const QVector<qint64>& chosen() const { return m_chosen; }

    InviteOutcome outcome() const;

private:
    int m_roomType = kNewConversation;
    QVector<qint64> m_fixed;
    QVector<qint64> m_chosen;
};
