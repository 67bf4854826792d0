#include "storebenchdata.h"

#include "store/dbmanager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QSqlError>
#include <QSqlQuery>
#include <QVector>

#include <algorithm>
#include <cstdio>

namespace {

const char* const kWords[] = {
    "meeting", "report",  "schedule", "budget", "client", "review",  "draft",   "lunch",
    "update",  "project", "deadline", "call",   "team",   "release", "fix",     "design",
    "office",  "monday",  "friday",   "today",  "please", "thanks",  "check",   "send",
    "file",    "slides",  "numbers",  "plan",   "later",  "agreed",  "approve", "invoice",
};
constexpr int kWordCount = int(sizeof(kWords) / sizeof(kWords[0]));

// msg_time: milliseconds from a fixed day, one chat every 1.5 s on average.
constexpr qint64 kStartTime = Q_INT64_C(1700000000000);

QString quoted(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

} // namespace

StoreBenchData::StoreBenchData(quint64 seed) : m_state(seed ? seed : 1) {}

quint64 StoreBenchData::next()
{
    // xorshift64*
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    return m_state * Q_UINT64_C(2685821657736338717);
}

QString StoreBenchData::sentence(int words)
{
    QString text;
    for (int i = 0; i < words; ++i) {
        if (i)
            text += QLatin1Char(' ');
        text += QLatin1String(kWords[below(kWordCount)]);
    }
    return text;
}

QJsonObject StoreBenchData::directoryResponse()
{
    QJsonArray users;
    for (int i = 1; i <= kUsers; ++i) {
        users.append(QJsonObject{
            {"userId", i},
            {"userName", QStringLiteral("User %1 %2").arg(i).arg(sentence(1))},
            {"tel", QStringLiteral("010-%1").arg(10000000 + below(89999999))},
            {"email", QStringLiteral("user%1@example.org").arg(i)},
            {"deptName", QStringLiteral("Department %1").arg(below(200))},
            {"thumbUrl", QStringLiteral("/files/thumb/%1.png").arg(i)},
            {"imageUrl", QStringLiteral("/files/image/%1.png").arg(i)},
            {"telOpenYn", QStringLiteral("1")},
            {"chattingAllowYn", QStringLiteral("1")},
            {"appInstallYn", QString::number(below(2))},
            {"userSortSeq", QString::number(below(1000000))},
            {"state", QStringLiteral("I")},
        });
    }
    QJsonArray groups;
    for (int i = 1; i <= kGroups; ++i) {
        groups.append(QJsonObject{
            {"grpId", i},
            {"grpName", QStringLiteral("Group %1 %2").arg(i).arg(sentence(1))},
            {"grpType", 1},
            {"skinColor", below(16)},
            {"thumbUrl", QStringLiteral("/files/group/%1.png").arg(i)},
            {"imageUrl", QString()},
            {"state", QStringLiteral("I")},
        });
    }
    // Every user in two groups: the pairs are distinct, so every row is stored.
    QJsonArray members;
    for (int i = 0; i < kMemberships; ++i) {
        const int user = i % kUsers + 1;
        const int group = (user * 7 + (i / kUsers) * 1000) % kGroups + 1;
        members.append(QJsonObject{
            {"grpId", group},
            {"userId", user},
            {"mbrStatus", QStringLiteral("1")},
            {"leaderType", QString::number(below(3) == 0 ? 1 : 0)},
            {"state", QStringLiteral("I")},
        });
    }
    QJsonArray options{
        QJsonObject{{"optCode", QStringLiteral("330")}, {"optValue", QStringLiteral("1")}},
        QJsonObject{{"optCode", QStringLiteral("950")}, {"optValue", QStringLiteral("0")}},
    };
    return QJsonObject{{"updDatetime", QStringLiteral("20240601120000")},
                       {"users", users},
                       {"groups", groups},
                       {"groupMembers", members},
                       {"custOpts", options}};
}

QString StoreBenchData::directoryScript()
{
    const QJsonObject response = directoryResponse();
    QString script;
    script.reserve(kUsers * 800);
    script += QStringLiteral("BEGIN;\n");
    for (const QJsonValue& value : response.value(QStringLiteral("users")).toArray()) {
        const QJsonObject u = value.toObject();
        script += QStringLiteral("INSERT OR REPLACE INTO TTT_USER (user_id, user_name, cell_phone, "
                                 "email, dept_name, thumb_url, image_url, open_cell_phone, "
                                 "chatt_allow, app_install, user_state, user_sort) VALUES (") +
                  QString::number(u.value(QStringLiteral("userId")).toInt()) + QLatin1Char(',') +
                  quoted(u.value(QStringLiteral("userName")).toString()) + QLatin1Char(',') +
                  quoted(u.value(QStringLiteral("tel")).toString()) + QLatin1Char(',') +
                  quoted(u.value(QStringLiteral("email")).toString()) + QLatin1Char(',') +
                  quoted(u.value(QStringLiteral("deptName")).toString()) + QLatin1Char(',') +
                  quoted(u.value(QStringLiteral("thumbUrl")).toString()) + QLatin1Char(',') +
                  quoted(u.value(QStringLiteral("imageUrl")).toString()) + QStringLiteral(",1,1,") +
                  u.value(QStringLiteral("appInstallYn")).toString() + QStringLiteral(",1,") +
                  quoted(u.value(QStringLiteral("userSortSeq")).toString()) +
                  QStringLiteral(");\n");
    }
    for (const QJsonValue& value : response.value(QStringLiteral("groups")).toArray()) {
        const QJsonObject g = value.toObject();
        script += QStringLiteral("INSERT OR REPLACE INTO TTT_GROUP (group_id, group_name, "
                                 "group_type, group_order, group_color, thumb_url, image_url) "
                                 "VALUES (") +
                  QString::number(g.value(QStringLiteral("grpId")).toInt()) + QLatin1Char(',') +
                  quoted(g.value(QStringLiteral("grpName")).toString()) + QStringLiteral(",1,0,") +
                  QString::number(g.value(QStringLiteral("skinColor")).toInt()) + QLatin1Char(',') +
                  quoted(g.value(QStringLiteral("thumbUrl")).toString()) +
                  QStringLiteral(",'');\n");
    }
    // Memberships group by group, as the store writes them: the reference inserts the same rows
    // in the same order, so that the two sides differ in how they write, not in what order the
    // indexes receive the rows.
    const QJsonArray members = response.value(QStringLiteral("groupMembers")).toArray();
    QVector<QPair<int, int>> byGroup;
    byGroup.reserve(members.size());
    for (int i = 0; i < members.size(); ++i)
        byGroup.append({members.at(i).toObject().value(QStringLiteral("grpId")).toInt(), i});
    std::stable_sort(byGroup.begin(), byGroup.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : qAsConst(byGroup)) {
        const QJsonObject m = members.at(entry.second).toObject();
        script += QStringLiteral("INSERT OR REPLACE INTO TTT_USER_GROUP (group_id, user_id, "
                                 "state, member) VALUES (") +
                  QString::number(m.value(QStringLiteral("grpId")).toInt()) + QLatin1Char(',') +
                  QString::number(m.value(QStringLiteral("userId")).toInt()) +
                  QStringLiteral(",1,") + m.value(QStringLiteral("leaderType")).toString() +
                  QStringLiteral(");\n");
    }
    // The options and the time stamp the cache writes into the key/value table.
    script += QStringLiteral("INSERT OR REPLACE INTO TTT_MTDATA (key, value) VALUES (16,'1');\n"
                             "INSERT OR REPLACE INTO TTT_MTDATA (key, value) VALUES (17,'0');\n"
                             "COMMIT;\n");
    return script;
}

bool StoreBenchData::fillChatStore(DBManager& db)
{
    QSqlDatabase& connection = db.database();
    // A small directory: the room members' names come from it.
    if (!connection.transaction())
        return false;
    {
        QSqlQuery user(connection);
        user.prepare(QStringLiteral("INSERT INTO TTT_USER (user_id, user_name, user_state, "
                                    "user_sort) VALUES (?, ?, 1, ?)"));
        for (int i = 1; i <= 2000; ++i) {
            user.addBindValue(i);
            user.addBindValue(QStringLiteral("User %1").arg(i));
            user.addBindValue(QString::number(i));
            if (!user.exec())
                return false;
        }
        QSqlQuery group(connection);
        group.prepare(QStringLiteral("INSERT INTO TTT_GROUP (group_id, group_name) VALUES (?, ?)"));
        for (int i = 1; i <= 100; ++i) {
            group.addBindValue(i);
            group.addBindValue(QStringLiteral("Group %1").arg(i));
            if (!group.exec())
                return false;
        }
    }
    // Rooms: every tenth a group room, the rest one-to-one or small group chats. Each room has
    // 1 to 4 members besides the own user.
    QVector<QStringList> roomMembers(kRooms + 1);
    {
        QSqlQuery room(connection);
        room.prepare(QStringLiteral("INSERT INTO TTT_CHATT_ROOM (topic, type, members, "
                                    "create_date, update_date) VALUES (?, ?, ?, ?, ?)"));
        for (int r = 1; r <= kRooms; ++r) {
            const int type = r % 10 == 0 ? 10 : (r % 3 == 0 ? 30 : 20);
            QStringList members;
            if (type == 10) {
                members << QString::number(r / 10);
                roomMembers[r] << QStringLiteral("2") << QStringLiteral("3");
            } else {
                const int count = type == 20 ? 1 : 2 + below(3);
                for (int m = 0; m < count; ++m)
                    members << QString::number(2 + below(1999));
                roomMembers[r] = members;
            }
            room.addBindValue(QStringLiteral("chat/%1").arg(r));
            room.addBindValue(type);
            room.addBindValue(members.join(QLatin1Char(',')));
            room.addBindValue(kStartTime - 86400000);
            room.addBindValue(kStartTime - 86400000 + r);
            if (!room.exec())
                return false;
        }
    }
    if (!connection.commit())
        return false;

    // Chats in time order over all rooms; the big room takes a tenth of them.
    QSqlQuery chat(connection);
    chat.prepare(QStringLiteral(
        "INSERT INTO TTT_CHATT (topic, msg_type, content_type, msg_id, sender_id, content, "
        "file_path, msg_time, count, msg_state, msg_read ) VALUES (?, 1, 1, ?, ?, ?, '', ?, ?, ?, "
        "?)"));
    const int unsettledEvery = kBigRoomChats / kBigRoomUnsettled;
    int bigRoomSeen = 0;
    qint64 time = kStartTime;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kChats; ++i) {
        if (i % 50000 == 0) {
            if (i && !connection.commit())
                return false;
            if (!connection.transaction())
                return false;
            std::fprintf(stderr, "\rgenerating chats: %d of %d (%.0f s)", i, kChats,
                         clock.elapsed() / 1000.0);
        }
        const bool big = i % (kChats / kBigRoomChats) == 0;
        const int room = big ? 1 : 2 + below(kRooms - 1);
        const bool own = below(4) == 0;
        const QStringList& members = roomMembers[room];
        const qint64 sender = own ? kOwnUserId : members.at(below(members.size())).toLongLong();
        QString text = sentence(3 + below(8));
        if (below(200) == 0)
            text += QLatin1Char(' ') + QLatin1String(searchWord());
        int state = 1;
        if (big) {
            // A few of the own messages of the big room never got confirmed, spread over its
            // whole history: each history page must still show them first.
            if (bigRoomSeen % unsettledEvery == unsettledEvery / 2)
                state = 0;
            ++bigRoomSeen;
        }
        time += 1000 + below(1000);
        chat.addBindValue(QStringLiteral("chat/%1").arg(room));
        chat.addBindValue(QStringLiteral("gen%1-%2").arg(kVersion).arg(i));
        chat.addBindValue(state == 0 ? kOwnUserId : sender);
        chat.addBindValue(text);
        chat.addBindValue(time);
        chat.addBindValue(own ? below(3) : 0);
        chat.addBindValue(state);
        // The newest tenth of the others' chats is unread.
        chat.addBindValue(own || i < kChats - kChats / 10 ? 1 : 0);
        if (!chat.exec()) {
            std::fprintf(stderr, "\ninsert failed: %s\n", qPrintable(chat.lastError().text()));
            return false;
        }
    }
    if (!connection.commit())
        return false;
    std::fprintf(stderr, "\rgenerating chats: %d of %d (%.0f s), indexing\n", kChats, kChats,
                 clock.elapsed() / 1000.0);
    return db.createWorkingIndexes();
}

QString StoreBenchData::cachedChatStore(const QString& folder)
{
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/chats-v%1.db").arg(kVersion);
    if (QFile::exists(path))
        return path;
    // Made under another name and renamed at the end, so that an interrupted run leaves no
    // half-filled file behind to be taken for a finished one.
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    QFile::remove(partial + QStringLiteral("-wal"));
    QFile::remove(partial + QStringLiteral("-shm"));
    bool ok = false;
    {
        DBManager db(partial, QStringLiteral("bench_generate"),
                     QString::fromLatin1(DBManager::kPassword), 1);
        StoreBenchData data;
        ok = db.isOpen() && data.fillChatStore(db);
        if (ok) {
            // Fold the journal into the file before it is renamed.
            QSqlQuery checkpoint(db.database());
            checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
    }
    if (!ok || !QFile::rename(partial, path))
        return QString();
    QFile::remove(partial + QStringLiteral("-wal"));
    QFile::remove(partial + QStringLiteral("-shm"));
    return path;
}
