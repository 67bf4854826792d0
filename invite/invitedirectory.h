#pragma once

#include <QHash>
#include <QString>
#include <QVector>

class DBManager;
class DBUser;

// One person of the invitation list: only what a row shows, so that a directory of 50,000
// people stays small in memory.
struct InviteEntry
{
    qint64 userId = 0;
    QString userName;
    QString deptName;
    QString thumbUrl;
    bool appInstall = false;
    bool chattAllow = false;
};
// Moved, not copied, when a list of 200,000 of them grows.
Q_DECLARE_TYPEINFO(InviteEntry, Q_MOVABLE_TYPE);

// The directory as the invitation dialog lists it (active users but the own one, by user_sort
// then name) and the rows a search leaves: indexes into the whole list, so a search allocates
// no copies of people and a cleared search restores the list from memory.
class InviteDirectory
{
public:
    // Reads the directory; false when the store could not be read (the list is then empty).
    bool load(DBManager* db, qint64 ownUserId);
    void setEntries(QVector<InviteEntry> entries);

    int size() const { return m_entries.size(); }
    const InviteEntry& entry(int index) const { return m_entries.at(index); }
    // Index into the whole list, -1 when the user is not listed.
    int indexOf(qint64 userId) const { return m_byId.value(userId, -1); }

    // The indexes whose name matches `text`, case-insensitive, anywhere in the name; the text is
    // a regular expression (an invalid one matches nothing). Empty text: every index.
    // `within`, when given, holds the indexes of a previous search whose text this one extends
    // literally, so only those are looked at.
    QVector<int> filter(const QString& text, const QVector<int>* within = nullptr) const;

    static InviteEntry entryOf(const DBUser& user);
    // Whether a search text holds no pattern characters (it then matches as plain text).
    static bool isLiteral(const QString& text);

private:
    QVector<InviteEntry> m_entries;
    QHash<qint64, int> m_byId;
};
