#include "storefixture.h"

#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"
#include "store/dbusergroup.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlRecord>
#include <QtTest>

#include <grp.h>
#include <unistd.h>

namespace {
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;
} // namespace

char* toString(const KeyValue& row)
{
    return qstrdup(
        QStringLiteral("{key=%1 value=\"%2\"}").arg(row.key).arg(row.value).toUtf8().constData());
}

QList<KeyValue> keyValueRows(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    QList<KeyValue> out;
    if (!query.exec("SELECT key, value FROM TTT_MTDATA ORDER BY key")) {
        qWarning().noquote() << "keyValueRows failed:" << query.lastError().text();
        return {{-1, query.lastError().text()}};
    }
    while (query.next())
        out.append({query.value(0).toInt(), query.value(1).toString()});
    return out;
}

UnprivilegedScope::UnprivilegedScope()
{
    if (geteuid() != 0)
        return;
    const gid_t groups[] = {kNoGroup};
    m_dropped = setgroups(1, groups) == 0 && setresgid(kNoGroup, kNoGroup, 0) == 0 &&
                setresuid(kNobody, kNobody, 0) == 0;
    if (!m_dropped)
        qWarning("UnprivilegedScope: could not become nobody: %s", strerror(errno));
}

UnprivilegedScope::~UnprivilegedScope()
{
    if (!m_dropped)
        return;
    const gid_t groups[] = {0};
    if (setresuid(0, 0, 0) != 0 || setresgid(0, 0, 0) != 0 || setgroups(1, groups) != 0)
        qFatal("UnprivilegedScope: could not return to root: %s", strerror(errno));
}

bool UnprivilegedScope::isUnprivileged() const
{
    return geteuid() != 0;
}

QStringList sqlcipherTool(const QString& file, const QString& key, const QString& script,
                          QString* error)
{
    QProcess tool;
    tool.start(QStringLiteral("sqlcipher"), {QStringLiteral("-batch"), file});
    tool.write(QStringLiteral("PRAGMA key = '%1';\n%2\n")
                   .arg(QString(key).replace(QLatin1Char('\''), QLatin1String("''")), script)
                   .toUtf8());
    tool.closeWriteChannel();
    if (!tool.waitForFinished(60000) && error)
        *error = QStringLiteral("sqlcipher did not run: ") + tool.errorString();
    else if (error)
        *error = QString::fromUtf8(tool.readAllStandardError()).trimmed();
    return QString::fromUtf8(tool.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

StoreFixture::StoreFixture(const QString& connectionName) : m_connectionName(connectionName)
{
    reopen();
}

StoreFixture::~StoreFixture() = default;

void StoreFixture::reopen()
{
    m_db.reset();
    m_db = std::make_unique<DBManager>(file(), m_connectionName,
                                       QString::fromLatin1(DBManager::kPassword), 1);
}

QStringList StoreFixture::rows(const QString& sql, const QVariantList& values)
{
    return ::rows(m_db->database(), sql, values);
}

QList<SqlRow> table(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const bool prepared = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!prepared || !query.exec()) {
        const QString error = sql + ": " + query.lastError().text();
        qWarning().noquote() << "failed:" << error;
        return {SqlRow{{{QStringLiteral("failed"), error}}}};
    }
    QList<SqlRow> out;
    while (query.next()) {
        SqlRow row;
        const QSqlRecord record = query.record();
        for (int i = 0; i < record.count(); ++i) {
            row.columns.append({record.fieldName(i), query.isNull(i) ? QStringLiteral("NULL")
                                                                     : query.value(i).toString()});
        }
        out.append(row);
    }
    return out;
}

QStringList rows(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QStringList out;
    for (const SqlRow& row : table(db, sql, values)) {
        const auto& first = row.columns.value(0);
        QStringList columns;
        for (const auto& column : row.columns)
            columns << column.second;
        out << (first.first == QLatin1String("failed") ? "failed: " + first.second
                                                       : columns.join(QLatin1Char('|')));
    }
    return out;
}

QList<SqlRow> StoreFixture::table(const QString& sql, const QVariantList& values)
{
    return ::table(m_db->database(), sql, values);
}

char* toString(const SqlRow& row)
{
    QStringList parts;
    for (const auto& column : row.columns)
        parts << column.first + QLatin1Char('=') + column.second;
    return qstrdup(("{" + parts.join(QLatin1Char(' ')) + "}").toUtf8().constData());
}

QList<SqlRow> rowsOf(const QStringList& names, const QList<QStringList>& values)
{
    QList<SqlRow> out;
    for (const QStringList& line : values) {
        SqlRow row;
        for (int i = 0; i < names.size(); ++i)
            row.columns.append({names.at(i), line.value(i, QStringLiteral("(missing)"))});
        out.append(row);
    }
    return out;
}

namespace {
// "{name=value ...}" for the record structs.
char* describe(std::initializer_list<std::pair<const char*, QVariant>> fields)
{
    QStringList parts;
    for (const auto& field : fields) {
        const QVariant& value = field.second;
        const QString text = value.type() == QVariant::Bool ? QString::number(value.toInt())
                             : value.type() == QVariant::String
                                 ? QLatin1Char('"') + value.toString() + QLatin1Char('"')
                                 : value.toString();
        parts << QLatin1String(field.first) + QLatin1Char('=') + text;
    }
    return qstrdup(("{" + parts.join(QLatin1Char(' ')) + "}").toUtf8().constData());
}
} // namespace

UserFields UserFields::of(const DBUser& u)
{
    return {u.userId(),     u.userName(),   u.cellPhone(), u.email(),
            u.deptName(),   u.thumbUrl(),   u.imageUrl(),  u.openCellPhone(),
            u.chattAllow(), u.appInstall(), u.userState(), u.userSort()};
}

bool UserFields::operator==(const UserFields& o) const
{
    return userId == o.userId && userName == o.userName && cellPhone == o.cellPhone &&
           email == o.email && deptName == o.deptName && thumbUrl == o.thumbUrl &&
           imageUrl == o.imageUrl && openCellPhone == o.openCellPhone &&
           chattAllow == o.chattAllow && appInstall == o.appInstall && userState == o.userState &&
           userSort == o.userSort;
}

char* toString(const UserFields& u)
{
    return describe({{"userId", u.userId},
                     {"userName", u.userName},
                     {"cellPhone", u.cellPhone},
                     {"email", u.email},
                     {"deptName", u.deptName},
                     {"thumbUrl", u.thumbUrl},
                     {"imageUrl", u.imageUrl},
                     {"openCellPhone", u.openCellPhone},
                     {"chattAllow", u.chattAllow},
                     {"appInstall", u.appInstall},
                     {"userState", u.userState},
                     {"userSort", u.userSort}});
}

GroupFields GroupFields::of(const DBGroup& g)
{
    return {g.groupId(),    g.groupName(), g.groupType(), g.groupOrder(),
            g.groupColor(), g.thumbUrl(),  g.imageUrl()};
}

bool GroupFields::operator==(const GroupFields& o) const
{
    return groupId == o.groupId && groupName == o.groupName && groupType == o.groupType &&
           groupOrder == o.groupOrder && groupColor == o.groupColor && thumbUrl == o.thumbUrl &&
           imageUrl == o.imageUrl;
}

char* toString(const GroupFields& g)
{
    return describe({{"groupId", g.groupId},
                     {"groupName", g.groupName},
                     {"groupType", g.groupType},
                     {"groupOrder", g.groupOrder},
                     {"groupColor", g.groupColor},
                     {"thumbUrl", g.thumbUrl},
                     {"imageUrl", g.imageUrl}});
}

MembershipFields MembershipFields::of(const DBUserGroup& m)
{
    return {m.groupId(), m.userId(), m.state(), m.member()};
}

bool MembershipFields::operator==(const MembershipFields& o) const
{
    return groupId == o.groupId && userId == o.userId && state == o.state && member == o.member;
}

char* toString(const MembershipFields& m)
{
    return describe(
        {{"groupId", m.groupId}, {"userId", m.userId}, {"state", m.state}, {"member", m.member}});
}

RoomFields RoomFields::of(const DBChatRoom& r)
{
    return {r.topic(), r.type(), r.members(), r.roomName(), r.createDate(), r.updateDate()};
}

bool RoomFields::operator==(const RoomFields& o) const
{
    return topic == o.topic && type == o.type && members == o.members && roomName == o.roomName &&
           createDate == o.createDate && updateDate == o.updateDate;
}

char* toString(const RoomFields& r)
{
    return describe({{"topic", r.topic},
                     {"type", r.type},
                     {"members", r.members},
                     {"roomName", r.roomName},
                     {"createDate", r.createDate},
                     {"updateDate", r.updateDate}});
}

ChatFields ChatFields::of(const DBChat& c)
{
    return {c.id(),       c.topic(),       c.msgId(),   c.senderId(), c.senderName(),
            c.msgType(),  c.contentType(), c.content(), c.filePath(), c.msgTime(),
            c.msgState(), c.count(),       c.msgRead()};
}

bool ChatFields::operator==(const ChatFields& o) const
{
    return id == o.id && topic == o.topic && msgId == o.msgId && senderId == o.senderId &&
           senderName == o.senderName && msgType == o.msgType && contentType == o.contentType &&
           content == o.content && filePath == o.filePath && msgTime == o.msgTime &&
           msgState == o.msgState && count == o.count && msgRead == o.msgRead;
}

char* toString(const ChatFields& c)
{
    return describe({{"id", c.id},
                     {"topic", c.topic},
                     {"msgId", c.msgId},
                     {"senderId", c.senderId},
                     {"senderName", c.senderName},
                     {"msgType", c.msgType},
                     {"contentType", c.contentType},
                     {"content", c.content},
                     {"filePath", c.filePath},
                     {"msgTime", c.msgTime},
                     {"msgState", c.msgState},
                     {"count", c.count},
                     {"msgRead", c.msgRead}});
}

bool StoreFixture::exec(const QString& sql, const QVariantList& values)
{
    const QList<SqlRow> result = table(sql, values);
    return result.isEmpty() || result.first().columns.value(0).first != QLatin1String("failed");
}

qint64 StoreFixture::number(const QString& sql, const QVariantList& values)
{
    const QList<SqlRow> found = table(sql, values);
    return found.isEmpty() || found.first().columns.isEmpty()
               ? -1
               : found.first().columns.first().second.toLongLong();
}

void StoreFixture::insert(const char* into, const QVariantList& values)
{
    const QString marks = QStringLiteral("?, ").repeated(values.size()).chopped(2);
    QVERIFY(
        exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(QLatin1String(into), marks), values));
}
