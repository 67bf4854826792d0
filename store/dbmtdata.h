#pragma once

#include "store/content.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <shared_mutex>

// Pending changes of the key/value table: key to value text, written by applyCommit().
using DBEditor = QMap<int, QString>;

// The account and option values kept in TTT_MTDATA, one row per key, loaded at construction.
// Setters change the field and record the change in the caller's editor; the values the user
// changes on their own (name, pictures, password, alarm, alarm-off list) are written at once and
// the setter says whether they were.
//
// Memory never claims what the database does not hold: a write that fails (applyCommit, the
// committing setters, the device id) puts every field of its editor back to the value the
// database holds (the default where it holds no row) and reports false. A record without a
// database keeps what it is given in memory; its committing setters report false, as nothing
// was written. The one exception is applyZero(): log off clears the memory even when the rows
// could not be deleted, and says so.
//
// Memory never claims what the database does not hold: a write that fails (applyCommit, the
// committing setters, the device id) puts every field of its editor back to the value the
// database holds (the default where it holds no row) and reports false. A record without a
// database keeps what it is given in memory; its committing setters report false, as nothing
// was written. The one exception is applyZero(): log off clears the memory even when the rows
// could not be deleted, and says so.
//
// The fields are written on the GUI thread (login, log off, the user's choices) and by the
// directory cache's worker thread, and read from the messaging and request threads. A
// read-write lock guards them: getters take it shared and return copies, setters take it
// exclusively for the field change only. It is a std::shared_mutex rather than a
// QReadWriteLock because ThreadSanitizer sees through the pthread lock beneath it, so the TSan
// build checks this guarding for real. Statements never run under the lock, and a statement
// runs on the connection of the calling thread: pass that thread's DBManager to the committing
// calls when it is not the record's own.
class DBMTData : public Content
{
public:
    enum Key
    {
        KeyVersion = 1,
        KeyUserId = 2,
        KeyUserName = 3,
        KeyThumbUrl = 4,
        KeyImageUrl = 5,
        KeyMyAccount = 6,
        KeyMyPassword = 7,
        KeyLastCacheTime = 8,
        KeyCustId = 9,
        KeyAccessKey = 10,
        KeyClientId = 11,
        KeyDeviceId = 12,
        KeyAutoLogin = 13,
        KeyAlarm = 14,
        KeyAlarmOffTopics = 15,
        KeyFileSaveOption = 16,      // server option 330
        KeyServerHistoryOption = 17, // server option 950
    };
    static constexpr const char* kNoCacheTime = "19700101000000";

    // Loads every stored value when a manager is given; without one the record lives in memory.
    explicit DBMTData(DBManager* dbManager = nullptr);
    ~DBMTData() override;
    // A copy holds the values without the database (see Content): copy construction gives an
    // unattached record, copy assignment keeps the target's own attachment.
    DBMTData(const DBMTData& other);
    DBMTData& operator=(const DBMTData& other);

    // Whether the construction's load ran and succeeded (false without a manager).
    bool isLoaded() const;
    // Points the record at another database without reloading (login attaches the session to
    // the account's database).
    void attach(DBManager* dbManager);
    // The same as attach(): hides Content's unguarded setter.
    void setDbManager(DBManager* dbManager) { attach(dbManager); }
    DBManager* attachedDbManager() const;

    // Writes every editor entry (INSERT OR REPLACE, in key order, in one transaction when there
    // are several) on `db`, or on the record's own manager when `db` is null. False when there
    // is no manager, the editor is empty, or any write fails: the transaction is then undone
    // and the editor's fields are back at the values the database holds.
    bool applyCommit(const DBEditor& editor, DBManager* db = nullptr);
    // At log off: deletes every row but the device id and resets the account values in memory.
    // False when the rows could not be deleted (the memory is reset all the same).
    bool applyZero();

    // Base64 of the SHA-256 digest of the password's local 8-bit encoding.
    static QString passwordDigest(const QString& password);

    qint64 userId() const;
    void setUserId(DBEditor& editor, qint64 userId);
    QString userName() const;
    bool setUserName(DBEditor& editor, const QString& name, DBManager* db = nullptr);
    QString thumbUrl() const;
    bool setThumbUrl(DBEditor& editor, const QString& url, DBManager* db = nullptr);
    QString imageUrl() const;
    bool setImageUrl(DBEditor& editor, const QString& url, DBManager* db = nullptr);
    QString myAccount() const;
    void setMyAccount(DBEditor& editor, const QString& account);
    // The stored digest, never the password.
    QString myPassword() const;
    // Takes the typed password and keeps its digest.
    bool setMyPassword(DBEditor& editor, const QString& password, DBManager* db = nullptr);
    // "19700101000000" when none is stored.
    QString lastCacheTime() const;
    void setLastCacheTime(DBEditor& editor, const QString& time);
    qint64 custId() const;
    void setCustId(DBEditor& editor, qint64 custId);
    QString accessKey() const;
    void setAccessKey(DBEditor& editor, const QString& key);
    QString clientId() const;
    void setClientId(DBEditor& editor, const QString& id);
    // Made on first use when empty: Base64 of the MD5 of a new random UUID (24 characters),
    // written to the database at once when one is attached. When that write fails the id made
    // is returned but not kept, and the next call makes another.
    QString deviceId();
    // The id held now, without making one: empty until one is stored, set or made.
    QString currentDeviceId() const;
    void setDeviceId(DBEditor& editor, const QString& id);
    bool autoLogin() const;
    void setAutoLogin(DBEditor& editor, bool on);
    bool alarm() const;
    bool setAlarm(DBEditor& editor, bool on, DBManager* db = nullptr);
    QStringList alarmOffTopics() const;
    bool setAlarmOffTopics(DBEditor& editor, const QStringList& topics, DBManager* db = nullptr);
    // Switches one room's alarm (case-sensitive topic) and writes the list at once.
    bool setTopicAlarm(DBEditor& editor, const QString& topic, bool on, DBManager* db = nullptr);
    bool isTopicAlarmOn(const QString& topic) const;
    // Server option 330: attachments may be saved without asking the server first.
    bool fileSaveOption() const;
    void setFileSaveOption(DBEditor& editor, bool on);
    // Server option 950: the server keeps the history, so deleting chats is not offered.
    bool serverHistoryOption() const;
    void setServerHistoryOption(DBEditor& editor, bool on);

private:
    struct Values;
    bool load();
    bool writeEditor(const DBEditor& editor, DBManager* target);
    void resetAccount();
    static QString flagText(bool on);
    static void setValue(Values& values, int key, const QString& text);
    static void copyField(int key, const Values& from, Values& to);

    // Everything the lock guards, so that a copy is taken in one step.
    struct Values
    {
        DBManager* dbManager = nullptr;
        bool loaded = false;
        // The rows as the database holds them, as far as this record read or wrote them.
        QMap<int, QString> stored;
        qint64 userId = 0;
        QString userName;
        QString thumbUrl;
        QString imageUrl;
        QString myAccount;
        QString myPassword;
        QString lastCacheTime = QString::fromLatin1(kNoCacheTime);
        qint64 custId = 0;
        QString accessKey;
        QString clientId;
        QString deviceId;
        bool autoLogin = false;
        bool alarm = true;
        QStringList alarmOffTopics;
        bool fileSaveOption = true;
        bool serverHistoryOption = false;
    };
    Values snapshot() const;
    // One field, read under the lock; set under the lock and recorded in the editor as `text`.
    template <typename T>
    T field(T Values::*member) const;
    template <typename T>
    void setField(DBEditor& editor, Key key, T Values::*member, const T& value,
                  const QString& text);

    mutable std::shared_mutex m_lock;
    Values m_v;
};
