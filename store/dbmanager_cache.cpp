// Writing a directory cache response: users, groups, memberships, server options and the own
// account values it refreshes.
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbsql.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/dbusergroup.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QPair>
#include <QVector>

#include <algorithm>
#include <numeric>

namespace {

const QString kState = QStringLiteral("state");
const QString kGroupId = QStringLiteral("grpId");

// Server options the cache carries in "custOpts".
constexpr int kOptionFileSave = 330;
constexpr int kOptionServerHistory = 950;

// Groups and memberships: a first cache writes everything but the deleted ("D"); a later one
// writes "I" and "U" and removes the rest. False when a write failed.
template <typename Record>
bool applyByState(DBManager* db, const QJsonArray& elements, const QVector<int>& order,
                  bool firstCache)
{
    bool written = true;
    for (const int index : order) {
        const QJsonObject object = elements.at(index).toObject();
        Record record(db, object);
        const QString state = DBSql::jsonText(object, kState);
        if (firstCache) {
            if (state != QLatin1String("D"))
                written = record.insertOrUpdate() && written;
        } else if (state == QLatin1String("I") || state == QLatin1String("U")) {
            written = record.insertOrUpdate() && written;
        } else {
            written = record.remove() && written;
        }
    }
    return written;
}

QVector<int> answerOrder(const QJsonArray& elements)
{
    QVector<int> order(elements.size());
    std::iota(order.begin(), order.end(), 0);
    return order;
}

// Memberships are written group by group. In the answer's order (user by user) every insert
// lands somewhere else in the two indexes that start with group_id, and once those outgrow the
// page cache each one reads and writes back pages (decrypted and encrypted again) of its own:
// most of the time of a large first cache. The sort is stable, so entries of one pair still
// apply in the answer's order, and within a group the rows keep their relative _id order, which
// is the order the membership reads find them in.
QVector<int> groupOrder(const QJsonArray& members)
{
    QVector<QPair<qint64, int>> keyed;
    keyed.reserve(members.size());
    for (int i = 0; i < members.size(); ++i)
        keyed.append({DBSql::jsonInt(members.at(i).toObject(), kGroupId), i});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QVector<int> order;
    order.reserve(keyed.size());
    for (const auto& entry : qAsConst(keyed))
        order.append(entry.second);
    return order;
}

} // namespace

bool DBManager::batchCache(DBMTData& account, const QJsonObject& response)
{
    const QString updDatetime = DBSql::jsonText(response, QStringLiteral("updDatetime"));
    const QString lastCacheTime = account.lastCacheTime();
    const bool firstCache = lastCacheTime == QLatin1String(DBMTData::kNoCacheTime);
    if (firstCache) {
        qDebug().noquote().nospace()
            << "DBManager::batchCache - isFirstCache is true, try to db transaction";
    } else {
        qDebug().noquote().nospace() << "DBManager::batchCache - lastCacheTime=" << lastCacheTime;
    }
    // Changes on top of an earlier cache go in one transaction too: half of them stored with the
    // new time stamp would be the other half lost for good, since the next cache asks only for
    // what changed after that time.
    if (!m_db.transaction()) {
        qWarning().noquote().nospace()
            << "DBManager::batchCache - cannot begin a transaction: " << m_db.lastError().text();
        return false;
    }

    // Users are never removed: a deleted one stays with user_state 0, so that old chats still
    // show who wrote them.
    // A row the store refuses fails the whole cache: committed without it, the new time stamp
    // would keep the next cache from ever asking for it again. A user without an id is the
    // answer's fault, not the store's: left out, the rest is kept.
    bool written = true;
    const QJsonArray users = response.value(QStringLiteral("users")).toArray();
    for (const QJsonValue& value : users) {
        const QJsonObject object = value.toObject();
        DBUser user(this, object);
        if (user.userId() == 0) {
            qWarning().noquote() << "DBManager::batchCache - a user without an id is left out";
            continue;
        }
        user.setUserState(DBSql::jsonText(object, kState) == QLatin1String("D") ? UserStateDeleted
                                                                                : UserStateActive);
        written = user.insertOrUpdate() && written;
    }
    const QJsonArray groups = response.value(QStringLiteral("groups")).toArray();
    written = applyByState<DBGroup>(this, groups, answerOrder(groups), firstCache) && written;
    const QJsonArray members = response.value(QStringLiteral("groupMembers")).toArray();
    written = applyByState<DBUserGroup>(this, members, groupOrder(members), firstCache) && written;

    // The options are recorded now and written with the new time stamp below, after the rows
    // are committed: written inside this transaction, a rollback would leave them in memory
    // only.
    QMap<int, int> optionValues;
    const QJsonArray options = response.value(QStringLiteral("custOpts")).toArray();
    for (const QJsonValue& value : options) {
        const QJsonObject object = value.toObject();
        const int code = DBSql::jsonText(object, QStringLiteral("optCode")).toInt();
        if (code != kOptionFileSave && code != kOptionServerHistory)
            continue;
        const int optValue = DBSql::jsonText(object, QStringLiteral("optValue")).toInt();
        qDebug().noquote().nospace()
            << "DBManager::batchCache - optCode = " << code << ", optValue = " << optValue;
        optionValues.insert(code, optValue);
    }

    bool committed = written;
    if (!written) {
        qWarning().noquote() << "DBManager::batchCache - a row could not be written, the cache "
                                "is rolled back";
        m_db.rollback();
    } else if (!m_db.commit()) {
        qWarning().noquote().nospace()
            << "DBManager::batchCache commit failed error:" << m_db.lastError().text();
        m_db.rollback();
        committed = false;
    }

    bool ownRefreshed = true;
    DBUser own(this);
    if (findUser(account.userId(), own)) {
        // These setters commit their editor at once: one editor each, or every commit would
        // write the keys of the setters before it again.
        DBEditor name;
        DBEditor thumb;
        DBEditor image;
        ownRefreshed = account.setUserName(name, own.userName(), this);
        ownRefreshed = account.setThumbUrl(thumb, own.thumbUrl(), this) && ownRefreshed;
        ownRefreshed = account.setImageUrl(image, own.imageUrl(), this) && ownRefreshed;
    }

    // A cache that could not be committed left nothing behind, and own values that could not be
    // written are not in the account either: keeping the old time stamp makes the next cache ask
    // for the same changes again, which writes them once more.
    if (!committed || !ownRefreshed) {
        qWarning().noquote().nospace()
            << "DBManager::batchCache - not complete, lastCacheTime stays " << lastCacheTime;
        return false;
    }
    DBEditor accountEditor;
    for (auto it = optionValues.cbegin(); it != optionValues.cend(); ++it) {
        if (it.key() == kOptionFileSave)
            account.setFileSaveOption(accountEditor, it.value() != 0);
        else
            account.setServerHistoryOption(accountEditor, it.value() == 1);
    }
    account.setLastCacheTime(accountEditor, updDatetime);
    return account.applyCommit(accountEditor, this);
}
