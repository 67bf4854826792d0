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

// Getters and setters. Each setter changes the field under the lock, then records the change;
// the committing ones write outside the lock.

qint64 DBMTData::userId() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.userId;
}

void DBMTData::setUserId(DBEditor& editor, qint64 userId)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.userId = userId;
    editor.insert(KeyUserId, QString::number(userId));
}

QString DBMTData::userName() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.userName;
}

void DBMTData::setUserName(DBEditor& editor, const QString& name, DBManager* db)
{
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        m_v.userName = name;
    }
    editor.insert(KeyUserName, name);
    applyCommit(editor, db);
}

QString DBMTData::thumbUrl() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.thumbUrl;
}

void DBMTData::setThumbUrl(DBEditor& editor, const QString& url, DBManager* db)
{
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        m_v.thumbUrl = url;
    }
    editor.insert(KeyThumbUrl, url);
    applyCommit(editor, db);
}

QString DBMTData::imageUrl() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.imageUrl;
}

void DBMTData::setImageUrl(DBEditor& editor, const QString& url, DBManager* db)
{
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        m_v.imageUrl = url;
    }
    editor.insert(KeyImageUrl, url);
    applyCommit(editor, db);
}

QString DBMTData::myAccount() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.myAccount;
}

void DBMTData::setMyAccount(DBEditor& editor, const QString& account)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.myAccount = account;
    editor.insert(KeyMyAccount, account);
}

QString DBMTData::myPassword() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.myPassword;
}

void DBMTData::setMyPassword(DBEditor& editor, const QString& password, DBManager* db)
{
    const QString digest = passwordDigest(password);
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        m_v.myPassword = digest;
    }
    editor.insert(KeyMyPassword, digest);
    applyCommit(editor, db);
}

QString DBMTData::lastCacheTime() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.lastCacheTime.isEmpty() ? QString::fromLatin1(kNoCacheTime) : m_v.lastCacheTime;
}

void DBMTData::setLastCacheTime(DBEditor& editor, const QString& time)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.lastCacheTime = time;
    editor.insert(KeyLastCacheTime, time);
}

qint64 DBMTData::custId() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.custId;
}

void DBMTData::setCustId(DBEditor& editor, qint64 custId)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.custId = custId;
    editor.insert(KeyCustId, QString::number(custId));
}

QString DBMTData::accessKey() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.accessKey;
}

void DBMTData::setAccessKey(DBEditor& editor, const QString& key)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.accessKey = key;
    editor.insert(KeyAccessKey, key);
}

QString DBMTData::clientId() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.clientId;
}

void DBMTData::setClientId(DBEditor& editor, const QString& id)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.clientId = id;
    editor.insert(KeyClientId, id);
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
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.deviceId = id;
    editor.insert(KeyDeviceId, id);
}

bool DBMTData::autoLogin() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.autoLogin;
}

void DBMTData::setAutoLogin(DBEditor& editor, bool on)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.autoLogin = on;
    editor.insert(KeyAutoLogin, flagText(on));
}

bool DBMTData::alarm() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.alarm;
}

void DBMTData::setAlarm(DBEditor& editor, bool on, DBManager* db)
{
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        m_v.alarm = on;
    }
    editor.insert(KeyAlarm, flagText(on));
    applyCommit(editor, db);
}

QStringList DBMTData::alarmOffTopics() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.alarmOffTopics;
}

void DBMTData::setAlarmOffTopics(DBEditor& editor, const QStringList& topics, DBManager* db)
{
    {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        m_v.alarmOffTopics = topics;
    }
    editor.insert(KeyAlarmOffTopics, topics.join(kTopicSeparator));
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
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.fileSaveOption;
}

void DBMTData::setFileSaveOption(DBEditor& editor, bool on)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.fileSaveOption = on;
    editor.insert(KeyFileSaveOption, flagText(on));
}

bool DBMTData::serverHistoryOption() const
{
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_v.serverHistoryOption;
}

void DBMTData::setServerHistoryOption(DBEditor& editor, bool on)
{
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_v.serverHistoryOption = on;
    editor.insert(KeyServerHistoryOption, flagText(on));
}
