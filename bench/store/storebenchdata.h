#pragma once

#include <QJsonObject>
#include <QString>
#include <QtGlobal>

class DBManager;

// Deterministic data for the store benchmarks: the same seed gives the same rows on every
// machine (a fixed xorshift generator, no library distributions), so figures of different runs
// describe the same work.
class StoreBenchData
{
public:
    // Bump when the generated rows change: cached files of an older version are not reused.
    static constexpr int kVersion = 3;

    // Four times the organisation the program was first measured with: the account and 200,000
    // colleagues, every one in two of the groups.
    static constexpr int kUsers = 200001;
    static constexpr int kGroups = 8000;
    static constexpr int kMemberships = 2 * kUsers;
    static constexpr qint64 kOwnUserId = 1;

    static constexpr int kRooms = 1000;
    static constexpr int kChats = 1000000;
    // The big room: "chat/1" holds this many of the chats.
    static constexpr int kBigRoomChats = 100000;
    static constexpr int kBigRoomUnsettled = 5;
    static const char* bigRoomTopic() { return "chat/1"; }
    // A word that about one chat in two hundred contains, for the search figure.
    static const char* searchWord() { return "50%_off"; }

    explicit StoreBenchData(quint64 seed = 20240601);

    // A first directory cache response: kUsers users, kGroups groups, kMemberships memberships,
    // all with state "I", and the two server options.
    QJsonObject directoryResponse();
    // The same rows as SQL statements for the sqlcipher tool, one per line, inside one
    // transaction (no key line); the memberships in the order the store writes them, group by
    // group.
    QString directoryScript();

    // Fills an open store with the directory and the kRooms rooms and kChats chats. Prints
    // progress on stderr. False when a statement fails.
    bool fillChatStore(DBManager& db);

    // The path of the cached chat file in `folder`, named after kVersion; made (with the
    // directory) when missing. Empty on failure.
    static QString cachedChatStore(const QString& folder);

private:
    quint64 next();
    int below(int bound) { return int(next() % quint64(bound)); }
    QString sentence(int words);

    quint64 m_state;
};
