#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <string_view>
#include <utility>
#include <vector>

class DBManager;
class DBUser;
struct DBDirectoryRow;

// One person of a list of people: only what a row shows.
struct InviteEntry
{
    qint64 userId = 0;
    QString userName;
    QString deptName;
    QString thumbUrl;
    bool appInstall = false;
    bool chattAllow = false;
};
// Moved, not copied, when a list of them grows.
Q_DECLARE_TYPEINFO(InviteEntry, Q_MOVABLE_TYPE);

// The directory as the invitation dialog lists it (active users but the own one, by user_sort
// then name) and the rows a search leaves: indexes into the whole list, so a search allocates
// no copies of people and a cleared search restores the list from memory.
// An organisation of 200,000 people is held in a few flat arrays, not as an object of strings
// per person: the names (and their search keys, folded once here rather than on every
// keystroke) one after another in one text, each department once.
class InviteDirectory
{
public:
    // Reads the directory; false when the store could not be read (the list is then empty).
    bool load(DBManager* db, qint64 ownUserId);
    void setEntries(const QVector<InviteEntry>& entries);

    int size() const { return m_userIds.size(); }
    InviteEntry entry(int index) const;
    qint64 userId(int index) const { return m_userIds.at(index); }
    QString userName(int index) const;
    QString deptName(int index) const { return m_deptNames.at(m_depts.at(index)); }
    QString thumbUrl(int index) const;
    bool appInstall(int index) const { return m_flags.at(index) & AppInstall; }
    bool chattAllow(int index) const { return m_flags.at(index) & ChattAllow; }
    // Index into the whole list, -1 when the user is not listed.
    int indexOf(qint64 userId) const;

    // The indexes whose name matches `text`, case-insensitive, anywhere in the name; the text is
    // a regular expression (an invalid one matches nothing). Empty text: every index.
    // `within`, when given, holds the indexes of a previous search whose text this one extends
    // literally, so only those are looked at.
    QVector<int> filter(const QString& text, const QVector<int>* within = nullptr) const;

    static InviteEntry entryOf(const DBUser& user);
    // Whether a search text holds no pattern characters (it then matches as plain text).
    static bool isLiteral(const QString& text);
    // The form of a literal text that names are searched by: one literal text extends another
    // case-insensitively exactly when its key starts with the other's.
    static QString searchKey(QStringView text);

private:
    enum Flag : quint8
    {
        AppInstall = 1,
        ChattAllow = 2,
    };
    void clear();
    // The person whose name was just appended to m_names. finish() makes the search keys.
    void addPerson(qint64 userId, int dept, std::string_view thumbUrl, bool appInstall,
                   bool chattAllow);
    void finish();
    QStringView nameAt(int index) const;
    QStringView keyAt(int index) const;

    QVector<qint64> m_userIds;
    QString m_names;          // every name, one after another
    QVector<int> m_nameAt{0}; // where each name starts in m_names; one more entry: the end
    QString m_keys;           // every name's search key, one after another
    QVector<int> m_keyAt{0};
    QByteArray m_thumbs; // every thumbnail address, UTF-8, one after another
    QVector<int> m_thumbAt{0};
    QVector<int> m_depts; // into m_deptNames
    QStringList m_deptNames;
    QVector<quint8> m_flags;
    std::vector<std::pair<qint64, int>> m_byId; // (user id, index), by user id
};
