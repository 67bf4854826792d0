#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QThread;
class QJsonObject;
class DBChat;
class DBChatRoom;
class DBGroup;
class DBMTData;
class DBUser;
struct DBDirectoryRow;
class UnreadCounts;

// One named connection onto a user's encrypted database file. Construction opens the file and
// creates what is missing of the schema; destruction closes the connection. The manager and its
// connection belong to the thread that constructed it: every statement on it, including those of
// records that borrow it, must run on that thread (a second thread opens its own manager under
// its own connection name).
//
// Operations are grouped by concern: opening and the schema here (dbmanager.cpp); chats, rooms
// and readers, and the directory, in files of their own.
class DBManager
{
public:
    // The password every part of the program opens the database with.
    static constexpr const char* kPassword = "dravik_!!!";
    // Connection names, one per thread that works on the file.
    static constexpr const char* kConnection = "Veltri";
    static constexpr const char* kConnectionMqtt = "Veltri_mqtt";
    static constexpr const char* kConnectionMqttSync = "Veltri_mqtt_sync";
    static constexpr const char* kConnectionCache = "Veltri_cache";
    static constexpr const char* kConnectionChatRooms = "Veltri_chatrooms";

    DBManager(const QString& dbPath, const QString& connectionName, const QString& password,
              int dbVersion);
    ~DBManager();
    DBManager(const DBManager&) = delete;
    DBManager& operator=(const DBManager&) = delete;

    // The file of a user's database: "veltri_<userId>.db" in the application data folder, which
    // is created when missing.
    static QString databaseFilePath(const QString& userId);
    // Derives the key of the database at `dbPath` ahead of its first open (a login, while its
    // request is in flight): the open that follows finds it instead of spending the derivation.
    static void prepareKey(const QString& dbPath);
    // Derives the key of the next database made on this computer ahead (the login page, while
    // the user types): a first login then makes its file without waiting for a derivation.
    static void prepareNewFileKey();

    bool open(const QString& dbPath, const QString& connectionName, const QString& password);
    void createDBTable();
    void onUpdateDBTable(int newVersion);

    bool isOpen() const { return m_db.isOpen(); }
    // Why the last open failed, so that a caller can tell the user more than "no database".
    enum class OpenError
    {
        None,
        CannotOpen, // the file cannot be opened or made (no such folder, not a file, ...)
        WrongKey,   // the password does not read the file, or the file is no database
        ReadOnly,   // the file or its folder cannot be written
    };
    OpenError openError() const { return m_openError; }
    // The driver's words for the failure; empty after a successful open.
    QString openErrorText() const { return m_openErrorText; }
    // A transaction is open on the connection (begun and neither committed nor rolled back, by
    // the caller or by SQLite itself after an error that ends it).
    bool inTransaction() const;
    QSqlDatabase& database() { return m_db; }
    QString dbPath() const { return m_dbPath; }
    QString connectionName() const { return m_connectionName; }
    int dbVersion() const { return m_dbVersion; }
    // The thread that owns the connection.
    QThread* thread() const { return m_thread; }
    // A query prepared once on this connection and kept for the manager's life, for the
    // statements that run again and again (record writes, look-ups): each run then skips
    // building a query and preparing it. For fixed statement texts only (values are bound), as
    // every text stays prepared. The caller binds and executes it, and finishes a SELECT after
    // reading. Null, with `error` set, when the statement cannot be prepared.
    QSqlQuery* preparedQuery(const QString& sql, QSqlError* error = nullptr);
    // Syncs the write-ahead log to the disk: what was committed before is durable once this
    // returns true (dbmanager_durable.cpp).
    bool syncWriteAheadLog();
    // For a connection that commits often and can afford to wait at other times: its commits no
    // longer copy the log into the database (SQLite's automatic checkpoint, which syncs the
    // database file as well); the owner calls checkpointWriteAheadLog() when it suits it, going
    // by logFrames(). False when the connection is not open.
    bool deferCheckpoints();
    // The frames in the log after this connection's last commit (deferCheckpoints() only),
    // less those a checkpoint has copied since.
    int logFrames() const { return m_logFrames; }
    // Copies what the log holds into the database as far as no reader still needs it (a passive
    // checkpoint, which never waits); true when it ran.
    bool checkpointWriteAheadLog();

    // Rooms (dbmanager_room.cpp). Operations keyed by topic refuse an empty topic with their
    // failure value.
    //
    // The room list: every room with its newest chat, newest activity first (a room without
    // chats by its update_date). A room whose newest chats share one msg_time comes once per such
    // chat. Appends; returns the size of the list afterwards.
    int chatRoomList(QList<DBChatRoom>& list);
    // Every room by topic, without its chats: the size of the map, or -1 when the statement fails.
    int chatRoomList(QMap<QString, DBChatRoom>& rooms);
    bool findChatRoom(const QString& topic, DBChatRoom& room);
    bool findGroupChatRoom(qint64 groupId, DBChatRoom& room);
    bool chatRoomExists(const QString& topic);
    // Removes the room, its chats and its reader rows in one transaction; false, with nothing
    // removed, when any of them fails (inside a transaction of the caller, the caller rolls back).
    bool deleteChatRoom(const QString& topic);
    enum class SyncResult
    {
        Changed,
        Unchanged,
        Failed
    };
    // Merges the server's room list ("list") into the room table in one transaction: new rooms
    // inserted, changed rooms get their type and members, rooms the server no longer lists lose
    // their chats and readers too. An answer without a "list" array of objects is refused, and
    // the first write that fails rolls the whole merge back: Failed leaves the store as it was.
    // A store that holds no room and no chat yet has its list read back known before the new
    // rooms are written: `shownAhead`, when given, gets it then, while the merge goes on.
    SyncResult
    syncChatRoomList(const QJsonObject& response, qint64 ownUserId,
                     const std::function<void(const QList<DBChatRoom>&)>& shownAhead = nullptr);

    // Chats (dbmanager_chat.cpp).
    //
    // A history page: the chats of the topic with unsettled ones (msg_state not 1) first however
    // old, then the confirmed ones, each part newest first; `limit` rows from `offset`. Each row
    // is put at the front of the list, so the page reads oldest first with the unsettled chats
    // at its end. Returns the number of chats added.
    int chatList(QList<DBChat>& list, const QString& topic, int limit, int offset);
    // The whole room, oldest first, at the front of the list; returns the number added.
    int exportChatList(QList<DBChat>& list, const QString& topic);
    bool findChat(const QString& topic, const QString& msgId, DBChat& chat);
    bool chatExists(const QString& topic, const QString& msgId);
    bool lastChat(const QString& topic, DBChat& chat);
    // The user's own chats of every room still on their way out (msg_state 0 sending, 4
    // uploaded and not yet confirmed), oldest first, appended; false when the store could not
    // be read.
    bool unsentChats(QList<DBChat>& list, qint64 ownUserId);

    // Drafts (dbmanager_drafts.cpp): the text left in a room's input box, kept encrypted with
    // the rest. An empty text removes the draft. Saving reports whether it was written.
    bool saveDraft(const QString& topic, const QString& text);
    QString draft(const QString& topic);
    int chatCount(const QString& topic);
    QString firstChatMessageId(const QString& topic);
    // Chats of the topic and msg_type; -1 on failure.
    int totalChatCount(const QString& topic, int msgType);
    // Chats of the topic and msg_type whose content contains `text` (ASCII letters in any case;
    // "%", "_" and "\" are plain characters); -1 on failure.
    int searchChatTotalCount(const QString& topic, int msgType, const QString& text);
    // The msg_id of the match at `offset`, 0 being the newest; empty when there is none.
    QString searchChatMessageId(const QString& topic, int msgType, const QString& text, int offset);
    // The same for text chats only (msg_type 1, content_type 1): a picture's or a file's
    // description is not text the user can see, so it never matches.
    int searchTextChatCount(const QString& topic, const QString& text);
    QString searchTextChatMessageId(const QString& topic, const QString& text, int offset);
    // Removes every chat of the topic; the room and its reader rows stay.
    bool deleteChatMessage(const QString& topic);
    // The LIKE pattern (with ESCAPE '\') that matches any text containing `text` literally.
    static QString containsPattern(const QString& text);

    // Read state (dbmanager_reads.cpp).
    //
    // Marks read every chat of the topic at or after `time` when it is above 0, else every
    // unread chat of the topic. The number of rows changed, 0 on failure.
    int updateReadAll(const QString& topic, qint64 time);
    // Sets the unread count of every room with unread chats of others (msg_type 1) in `counts`,
    // or in the process-wide table.
    void loadUnreadCounts(qint64 ownUserId);
    void loadUnreadCounts(qint64 ownUserId, UnreadCounts& counts);
    // Records `readerId` as reader of the own (senderId) confirmed chats of the topic at or after
    // `time`, refreshes the count of every chat of the topic at or after `time` that has readers,
    // and puts those counts (msg_id to distinct readers) into `readCounts`.
    void batchChatReads(QMap<QString, int>& readCounts, const QString& topic, qint64 senderId,
                        qint64 readerId, qint64 time);
    // The users who read a message, by name; appends.
    void readers(QList<DBUser>& list, const QString& topic, const QString& msgId);
    // The earliest msg_time of the room's unread chats of others; 0 when none or on failure.
    qint64 firstUnreadTime(const DBChatRoom& room, qint64 ownUserId);

    // Directory (dbmanager_cache.cpp, dbmanager_directory.cpp). List operations return the size
    // of the list afterwards.
    //
    // Writes a directory cache response in one transaction: the whole directory the first time
    // (`account`'s lastCacheTime not yet set), the changes afterwards; refreshes the own name and
    // pictures and the server options in `account`, and advances its lastCacheTime. False when
    // the response could not be stored; lastCacheTime then stays where it was.
    bool batchCache(DBMTData& account, const QJsonObject& response);
    // Every user, deleted ones and the own user included (emptied first).
    int userList(QList<DBUser>& list);
    // The active users but the own one, by user_sort then name; appends.
    int selectUserList(QList<DBUser>& list, qint64 ownUserId);
    // The same people, handed to `visit` one row at a time in the order the table holds them,
    // so that a directory of hundreds of thousands is never held whole or converted column by
    // column; `order` receives the listing order, by user_sort then name, as the numbers of the
    // visits (0 for the first row visited). False when the store could not be read.
    bool visitDirectory(qint64 ownUserId, const std::function<void(const DBDirectoryRow&)>& visit,
                        QVector<int>& order);
    int selectUserListLimit(QList<DBUser>& list, qint64 ownUserId, int limit, int offset);
    // Active users but the own one whose name contains `text` (emptied first).
    int searchUserList(QList<DBUser>& list, qint64 ownUserId, const QString& text, int limit,
                       int offset);
    // The users of an id list; ids that are not integers are left out. Appends.
    int users(QList<DBUser>& list, const QStringList& userIds);
    int usersWithoutChattallow(QList<DBUser>& list, const QStringList& userIds);
    // Active members of a group, without `leaveOutUserId`; appends.
    int groupUserList(QList<DBUser>& list, qint64 groupId, qint64 leaveOutUserId);
    // Every group in table order (emptied first).
    int groupList(QList<DBGroup>& list);
    bool findUser(qint64 userId, DBUser& user);
    // The user, or a user with user_id 0 when there is none.
    DBUser selectUserByUserId(qint64 userId);
    bool findGroup(qint64 groupId, DBGroup& group);
    // Removes a group and its memberships in one transaction.
    bool deleteGroup(qint64 groupId);
    // Writes the own directory row from the profile editor's object ("userId", "userName", ...).
    bool updateMyProfile(const QJsonObject& profile);
    bool removeMyProfilePicture(qint64 userId);

    // Indexes of our own that the history, room list and read operations use
    // (dbmanager_indexes.cpp). Files of every age get them: the chat operations make them on
    // their connection's first use ("IF NOT EXISTS"), since an existing file never gains
    // indexes through createDBTable.
    bool createWorkingIndexes();

private:
    bool execSchemaStatement(const QString& sql);
    void release();

    QString m_dbPath;
    QSqlDatabase m_db;
    QString m_connectionName;
    int m_dbVersion = 0;
    QThread* m_thread = nullptr;
    OpenError m_openError = OpenError::None;
    QString m_openErrorText;
    QHash<QString, QSqlQuery> m_prepared;
    int m_logFrames = 0;

    // Chats, rooms and read state.
    static bool refuseEmptyTopic(const QString& topic, const char* where);
    void ensureWorkingIndexes();
    bool m_workingIndexesTried = false;
    bool ensureDraftTable();
    bool m_draftTableReady = false;
};
