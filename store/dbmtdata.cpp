#include "store/dbmtdata.h"

#include "store/dbmanager.h"
#include "store/dbsql.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QSqlQuery>
#include <QUuid>

#include <mutex>

namespace {
const QLatin1Char kTopicSeparator('|');
} // namespace

DBMTData::DBMTData(DBManager* dbManager) : Content(dbManager)
{
    m_v.dbManager = dbManager;
    if (dbManager)
        m_v.loaded = load();
}

DBMTData::~DBMTData() = default;

DBMTData::DBMTData(const DBMTData& other) : Content(other)
{
    m_v = other.snapshot();
    m_v.dbManager = nullptr;
}

DBMTData& DBMTData::operator=(const DBMTData& other)
{
    if (this != &other) {
        // Copied out under the source's lock, then in under ours: never both locks at once.
        const Values values = other.snapshot();
        std::unique_lock<std::shared_mutex> lock(m_lock);
        m_dataState = other.dataState();
        m_id = other.id();
        DBManager* const own = m_v.dbManager;
        m_v = values;
        m_v.dbManager = own;
    }
    return *this;
}

DBMTData::Values DBMTData::snapshot() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v;
}

bool DBMTData::isLoaded() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.loaded;
}

void DBMTData::attach(DBManager* dbManager)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.dbManager = dbManager;
    m_dbManager = dbManager;
}

DBManager* DBMTData::attachedDbManager() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.dbManager;
}

bool DBMTData::load()
{
    QSqlQuery query(m_dbManager->database());
    query.setForwardOnly(true);
    if (!DBSql::prepare(query, QStringLiteral("SELECT key, value FROM TTT_MTDATA"),
                        "DBMTData::load") ||
        !DBSql::exec(query, "DBMTData::load"))
        return false;
    std::unique_lock<std::shared_mutex> lock(m_lock);
    while (query.next()) {
        const int key = query.value(0).toInt();
        const QString text = query.value(1).toString();
        m_v.stored.insert(key, text);
        setValue(m_v, key, text);
    }
    return true;
}

void DBMTData::setValue(Values& v, int key, const QString& value)
{
    const bool on = value.toInt() == 1;
    switch (key) {
    case KeyUserId:
        v.userId = value.toLongLong();
        break;
    case KeyUserName:
        v.userName = value;
        break;
    case KeyThumbUrl:
        v.thumbUrl = value;
        break;
    case KeyImageUrl:
        v.imageUrl = value;
        break;
    case KeyMyAccount:
        v.myAccount = value;
        break;
    case KeyMyPassword:
        v.myPassword = value;
        break;
    case KeyLastCacheTime:
        v.lastCacheTime = value;
        break;
    case KeyCustId:
        v.custId = value.toLongLong();
        break;
    case KeyAccessKey:
        v.accessKey = value;
        break;
    case KeyClientId:
        v.clientId = value;
        break;
    case KeyDeviceId:
        v.deviceId = value;
        break;
    case KeyAutoLogin:
        v.autoLogin = on;
        break;
    case KeyAlarm:
        v.alarm = on;
        break;
    case KeyAlarmOffTopics:
        v.alarmOffTopics =
            value.isEmpty() ? QStringList() : value.split(kTopicSeparator, Qt::KeepEmptyParts);
        break;
    case KeyFileSaveOption:
        v.fileSaveOption = on;
        break;
    case KeyServerHistoryOption:
        v.serverHistoryOption = on;
        break;
    default: // the version (key 1) and keys of other releases
        break;
    }
}

QString DBMTData::flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

void DBMTData::copyField(int key, const Values& from, Values& to)
{
    switch (key) {
    case KeyUserId:
        to.userId = from.userId;
        break;
    case KeyUserName:
        to.userName = from.userName;
        break;
    case KeyThumbUrl:
        to.thumbUrl = from.thumbUrl;
        break;
    case KeyImageUrl:
        to.imageUrl = from.imageUrl;
        break;
    case KeyMyAccount:
        to.myAccount = from.myAccount;
        break;
    case KeyMyPassword:
        to.myPassword = from.myPassword;
        break;
    case KeyLastCacheTime:
        to.lastCacheTime = from.lastCacheTime;
        break;
    case KeyCustId:
        to.custId = from.custId;
        break;
    case KeyAccessKey:
        to.accessKey = from.accessKey;
        break;
    case KeyClientId:
        to.clientId = from.clientId;
        break;
    case KeyDeviceId:
        to.deviceId = from.deviceId;
        break;
    case KeyAutoLogin:
        to.autoLogin = from.autoLogin;
        break;
    case KeyAlarm:
        to.alarm = from.alarm;
        break;
    case KeyAlarmOffTopics:
        to.alarmOffTopics = from.alarmOffTopics;
        break;
    case KeyFileSaveOption:
        to.fileSaveOption = from.fileSaveOption;
        break;
    case KeyServerHistoryOption:
        to.serverHistoryOption = from.serverHistoryOption;
        break;
    default:
        break;
    }
}

bool DBMTData::applyCommit(const DBEditor& editor, DBManager* db)
{
    DBManager* target = db ? db : attachedDbManager();
    if (!target) {
        qWarning().noquote().nospace() << "DBMTData::applyCommit - dbManager is null";
        return false;
    }
    if (editor.isEmpty()) {
        qDebug().noquote().nospace() << "DBMTData::applyCommit - editor is empty";
        return false;
    }
    const bool written = writeEditor(editor, target);
    std::unique_lock<std::shared_mutex> lock(m_lock);
    if (written) {
        for (auto it = editor.cbegin(); it != editor.cend(); ++it)
            m_v.stored.insert(it.key(), it.value());
        return true;
    }
    // The fields go back to what the database holds: defaults, then its rows.
    Values disk;
    for (auto it = m_v.stored.cbegin(); it != m_v.stored.cend(); ++it)
        setValue(disk, it.key(), it.value());
    QStringList keys;
    for (auto it = editor.cbegin(); it != editor.cend(); ++it) {
        copyField(it.key(), disk, m_v);
        keys << QString::number(it.key());
    }
    qWarning().noquote().nospace() << "DBMTData::applyCommit - not written, keys "
                                   << keys.join(QLatin1Char(',')) << " keep their stored values";
    return false;
}

bool DBMTData::writeEditor(const DBEditor& editor, DBManager* target)
{
    const char* const where = "DBMTData::applyCommit";
    QSqlDatabase& connection = target->database();
    bool transaction = false;
    if (editor.size() > 1) {
        transaction = connection.transaction();
        if (!transaction) {
            qWarning().noquote().nospace()
                << where << " failed to begin error:" << connection.lastError().text();
            return false;
        }
    }
    bool ok = true;
    for (auto it = editor.cbegin(); ok && it != editor.cend(); ++it) {
        QSqlQuery* query = DBSql::prepared(
            target, QStringLiteral("INSERT OR REPLACE INTO TTT_MTDATA (key, value) VALUES (?, ?)"),
            where);
        ok = query != nullptr;
        if (ok) {
            query->addBindValue(it.key());
            query->addBindValue(DBSql::text(it.value()));
            ok = DBSql::exec(*query, where);
        }
    }
    if (transaction && ok) {
        ok = connection.commit();
        if (!ok) {
            qWarning().noquote().nospace()
                << where << " commit failed error:" << connection.lastError().text();
        }
    }
    if (transaction && !ok)
        connection.rollback();
    return ok;
}

bool DBMTData::applyZero()
{
    DBManager* db = attachedDbManager();
    if (!db) {
        qWarning().noquote().nospace() << "DBMTData::applyZero dbManager is null";
        return false;
    }
    QSqlQuery query(db->database());
    bool removed = DBSql::prepare(query, QStringLiteral("DELETE FROM TTT_MTDATA WHERE key != ?"),
                                  "DBMTData::applyZero");
    if (removed) {
        query.addBindValue(int(KeyDeviceId));
        removed = DBSql::exec(query, "DBMTData::applyZero");
    }
    if (!removed)
        qWarning().noquote().nospace() << "DBMTData::applyZero - remove is failure";
    resetAccount();
    if (removed) {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        const QString deviceId = m_v.stored.value(KeyDeviceId);
        const bool hadDeviceId = m_v.stored.contains(KeyDeviceId);
        m_v.stored.clear();
        if (hadDeviceId)
            m_v.stored.insert(KeyDeviceId, deviceId);
    }
    return removed;
}

void DBMTData::resetAccount()
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.custId = 0;
    m_v.userId = 0;
    m_v.accessKey.clear();
    m_v.clientId.clear();
    m_v.userName.clear();
    m_v.thumbUrl.clear();
    m_v.imageUrl.clear();
    m_v.myAccount.clear();
    m_v.myPassword.clear();
    m_v.lastCacheTime = QString::fromLatin1(kNoCacheTime);
    m_v.autoLogin = false;
    m_v.fileSaveOption = true;
    m_v.serverHistoryOption = false;
}

QString DBMTData::passwordDigest(const QString& password)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(password.toLocal8Bit(), QCryptographicHash::Sha256).toBase64());
}

// Getters and setters: each reads or changes its field under the lock; the setters also record
// the change in the editor, and the committing ones then write it, outside the lock.

template <typename T>
T DBMTData::field(T Values::*member) const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.*member;
}

template <typename T>
void DBMTData::setField(DBEditor& editor, Key key, T Values::*member, const T& value,
                        const QString& text)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.*member = value;
    editor.insert(key, text);
}

qint64 DBMTData::userId() const
{
    return field(&Values::userId);
}

void DBMTData::setUserId(DBEditor& editor, qint64 userId)
{
    setField(editor, KeyUserId, &Values::userId, userId, QString::number(userId));
}

QString DBMTData::userName() const
{
    return field(&Values::userName);
}

bool DBMTData::setUserName(DBEditor& editor, const QString& name, DBManager* db)
{
    setField(editor, KeyUserName, &Values::userName, name, name);
    return applyCommit(editor, db);
}

QString DBMTData::thumbUrl() const
{
    return field(&Values::thumbUrl);
}

bool DBMTData::setThumbUrl(DBEditor& editor, const QString& url, DBManager* db)
{
    setField(editor, KeyThumbUrl, &Values::thumbUrl, url, url);
    return applyCommit(editor, db);
}

QString DBMTData::imageUrl() const
{
    return field(&Values::imageUrl);
}

bool DBMTData::setImageUrl(DBEditor& editor, const QString& url, DBManager* db)
{
    setField(editor, KeyImageUrl, &Values::imageUrl, url, url);
    return applyCommit(editor, db);
}

QString DBMTData::myAccount() const
{
    return field(&Values::myAccount);
}

void DBMTData::setMyAccount(DBEditor& editor, const QString& account)
{
    setField(editor, KeyMyAccount, &Values::myAccount, account, account);
}

QString DBMTData::myPassword() const
{
    return field(&Values::myPassword);
}

bool DBMTData::setMyPassword(DBEditor& editor, const QString& password, DBManager* db)
{
    const QString digest = passwordDigest(password);
    setField(editor, KeyMyPassword, &Values::myPassword, digest, digest);
    return applyCommit(editor, db);
}

QString DBMTData::lastCacheTime() const
{
    const QString time = field(&Values::lastCacheTime);
    return time.isEmpty() ? QString::fromLatin1(kNoCacheTime) : time;
}

void DBMTData::setLastCacheTime(DBEditor& editor, const QString& time)
{
    setField(editor, KeyLastCacheTime, &Values::lastCacheTime, time, time);
}

qint64 DBMTData::custId() const
{
    return field(&Values::custId);
}

void DBMTData::setCustId(DBEditor& editor, qint64 custId)
{
    setField(editor, KeyCustId, &Values::custId, custId, QString::number(custId));
}

QString DBMTData::accessKey() const
{
    return field(&Values::accessKey);
}

void DBMTData::setAccessKey(DBEditor& editor, const QString& key)
{
    setField(editor, KeyAccessKey, &Values::accessKey, key, key);
}

QString DBMTData::clientId() const
{
    return field(&Values::clientId);
}

void DBMTData::setClientId(DBEditor& editor, const QString& id)
{
    setField(editor, KeyClientId, &Values::clientId, id, id);
}

QString DBMTData::deviceId()
{
    QString made;
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        if (!m_v.deviceId.isEmpty())
            return m_v.deviceId;
        const QByteArray uuid = QUuid::createUuid().toString().toLocal8Bit();
        m_v.deviceId =
            QString::fromLatin1(QCryptographicHash::hash(uuid, QCryptographicHash::Md5).toBase64());
        made = m_v.deviceId;
    }
    if (DBManager* db = attachedDbManager()) {
        DBEditor editor;
        editor.insert(KeyDeviceId, made);
        applyCommit(editor, db);
    }
    // Not kept when it could not be stored (applyCommit put the field back), but this use
    // still gets an id.
    return made;
}

QString DBMTData::currentDeviceId() const
{
    return field(&Values::deviceId);
}

void DBMTData::setDeviceId(DBEditor& editor, const QString& id)
{
    setField(editor, KeyDeviceId, &Values::deviceId, id, id);
}

bool DBMTData::autoLogin() const
{
    return field(&Values::autoLogin);
}

void DBMTData::setAutoLogin(DBEditor& editor, bool on)
{
    setField(editor, KeyAutoLogin, &Values::autoLogin, on, flagText(on));
}

bool DBMTData::alarm() const
{
    return field(&Values::alarm);
}

bool DBMTData::setAlarm(DBEditor& editor, bool on, DBManager* db)
{
    setField(editor, KeyAlarm, &Values::alarm, on, flagText(on));
    return applyCommit(editor, db);
}

QStringList DBMTData::alarmOffTopics() const
{
    return field(&Values::alarmOffTopics);
}

bool DBMTData::setAlarmOffTopics(DBEditor& editor, const QStringList& topics, DBManager* db)
{
    setField(editor, KeyAlarmOffTopics, &Values::alarmOffTopics, topics,
             topics.join(kTopicSeparator));
    return applyCommit(editor, db);
}

bool DBMTData::setTopicAlarm(DBEditor& editor, const QString& topic, bool on, DBManager* db)
{
    QString joined;
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        if (on)
            m_v.alarmOffTopics.removeAll(topic);
        else if (!m_v.alarmOffTopics.contains(topic, Qt::CaseSensitive))
            m_v.alarmOffTopics.append(topic);
        joined = m_v.alarmOffTopics.join(kTopicSeparator);
    }
    editor.insert(KeyAlarmOffTopics, joined);
    return applyCommit(editor, db);
}

bool DBMTData::isTopicAlarmOn(const QString& topic) const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return !m_v.alarmOffTopics.contains(topic, Qt::CaseSensitive);
}

bool DBMTData::fileSaveOption() const
{
    return field(&Values::fileSaveOption);
}

void DBMTData::setFileSaveOption(DBEditor& editor, bool on)
{
    setField(editor, KeyFileSaveOption, &Values::fileSaveOption, on, flagText(on));
}

bool DBMTData::serverHistoryOption() const
{
    return field(&Values::serverHistoryOption);
}

void DBMTData::setServerHistoryOption(DBEditor& editor, bool on)
{
    setField(editor, KeyServerHistoryOption, &Values::serverHistoryOption, on, flagText(on));
}
