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
    m_dbManager = m_v.dbManager;
}

DBMTData& DBMTData::operator=(const DBMTData& other)
{
    if (this != &other) {
        // Copied out under the source's lock, then in under ours: never both locks at once.
        const Values values = other.snapshot();
        std::unique_lock<std::shared_mutex> lock(m_lock);
        m_dataState = other.dataState();
        m_id = other.id();
        m_v = values;
        m_dbManager = values.dbManager;
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
    while (query.next())
        setValue(query.value(0).toInt(), query.value(1).toString());
    return true;
}

void DBMTData::setValue(int key, const QString& value)
{
    const bool on = value.toInt() == 1;
    std::unique_lock<std::shared_mutex> lock(m_lock);
    switch (key) {
    case KeyUserId:
        m_v.userId = value.toLongLong();
        break;
    case KeyUserName:
        m_v.userName = value;
        break;
    case KeyThumbUrl:
        m_v.thumbUrl = value;
        break;
    case KeyImageUrl:
        m_v.imageUrl = value;
        break;
    case KeyMyAccount:
        m_v.myAccount = value;
        break;
    case KeyMyPassword:
        m_v.myPassword = value;
        break;
    case KeyLastCacheTime:
        m_v.lastCacheTime = value;
        break;
    case KeyCustId:
        m_v.custId = value.toLongLong();
        break;
    case KeyAccessKey:
        m_v.accessKey = value;
        break;
    case KeyClientId:
        m_v.clientId = value;
        break;
    case KeyDeviceId:
        m_v.deviceId = value;
        break;
    case KeyAutoLogin:
        m_v.autoLogin = on;
        break;
    case KeyAlarm:
        m_v.alarm = on;
        break;
    case KeyAlarmOffTopics:
        m_v.alarmOffTopics =
            value.isEmpty() ? QStringList() : value.split(kTopicSeparator, Qt::KeepEmptyParts);
        break;
    case KeyFileSaveOption:
        m_v.fileSaveOption = on;
        break;
    case KeyServerHistoryOption:
        m_v.serverHistoryOption = on;
        break;
    default: // the version (key 1) and keys of other releases
        break;
    }
}

QString DBMTData::flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
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
    QSqlDatabase& connection = target->database();
    const bool transaction = editor.size() > 1 && connection.transaction();
    bool ok = true;
    for (auto it = editor.cbegin(); ok && it != editor.cend(); ++it) {
        QSqlQuery* query = DBSql::prepared(
            target, QStringLiteral("INSERT OR REPLACE INTO TTT_MTDATA (key, value) VALUES (?, ?)"),
            "DBMTData::applyCommit");
        ok = query != nullptr;
        if (ok) {
            query->addBindValue(it.key());
            query->addBindValue(DBSql::text(it.value()));
            ok = DBSql::exec(*query, "DBMTData::applyCommit");
        }
    }
    if (transaction) {
        if (ok)
            ok = connection.commit();
        if (!ok) {
            qWarning().noquote().nospace()
                << "DBMTData::applyCommit - rolled back, keys:" << editor.size();
            connection.rollback();
        }
    }
    return ok;
}

void DBMTData::applyZero()
{
    DBManager* db = attachedDbManager();
    if (!db) {
        qWarning().noquote().nospace() << "DBMTData::applyZero dbManager is null";
        return;
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

void DBMTData::setUserName(DBEditor& editor, const QString& name, DBManager* db)
{
    setField(editor, KeyUserName, &Values::userName, name, name);
    applyCommit(editor, db);
}

QString DBMTData::thumbUrl() const
{
    return field(&Values::thumbUrl);
}

void DBMTData::setThumbUrl(DBEditor& editor, const QString& url, DBManager* db)
{
    setField(editor, KeyThumbUrl, &Values::thumbUrl, url, url);
    applyCommit(editor, db);
}

QString DBMTData::imageUrl() const
{
    return field(&Values::imageUrl);
}

void DBMTData::setImageUrl(DBEditor& editor, const QString& url, DBManager* db)
{
    setField(editor, KeyImageUrl, &Values::imageUrl, url, url);
    applyCommit(editor, db);
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

void DBMTData::setMyPassword(DBEditor& editor, const QString& password, DBManager* db)
{
    const QString digest = passwordDigest(password);
    setField(editor, KeyMyPassword, &Values::myPassword, digest, digest);
    applyCommit(editor, db);
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
    return made;
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

void DBMTData::setAlarm(DBEditor& editor, bool on, DBManager* db)
{
    setField(editor, KeyAlarm, &Values::alarm, on, flagText(on));
    applyCommit(editor, db);
}

QStringList DBMTData::alarmOffTopics() const
{
    return field(&Values::alarmOffTopics);
}

void DBMTData::setAlarmOffTopics(DBEditor& editor, const QStringList& topics, DBManager* db)
{
    setField(editor, KeyAlarmOffTopics, &Values::alarmOffTopics, topics,
             topics.join(kTopicSeparator));
    applyCommit(editor, db);
}

void DBMTData::setTopicAlarm(DBEditor& editor, const QString& topic, bool on, DBManager* db)
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
    applyCommit(editor, db);
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
