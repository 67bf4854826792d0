#include "store/dbchat.h"

#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbtypes.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>

namespace {

bool parseObject(const QString& json, QJsonObject* object, const char* where)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (!document.isObject()) {
        qWarning().noquote().nospace()
            << where << " - content is not a JSON object error:" << error.errorString();
        return false;
    }
    *object = document.object();
    return true;
}

QString toJsonText(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

} // namespace

DBChat::DBChat(DBManager* dbManager) : Content(dbManager) {}

DBChat::~DBChat() = default;

void DBChat::setFromRow(const QSqlQuery& query)
{
    m_id = query.value(0).toLongLong();
    m_topic = query.value(1).toString();
    m_msg_id = query.value(2).toString();
    m_sender_id = query.value(3).toLongLong();
    m_sender_name = query.value(4).toString();
    m_sender_thumb_url = query.value(5).toString();
    m_msg_type = query.value(6).toInt();
    const int contentType = query.value(7).toInt();
    const QString content = query.value(8).toString();
    m_file_path = query.value(9).toString();
    m_msg_time = query.value(10).toLongLong();
    m_msg_state = query.value(11).toInt();
    m_count = query.value(12).toInt();
    m_msg_read = query.value(13).toInt() != 0;
    // A row whose attachment JSON does not parse is still returned, with empty attachment fields.
    setContent(contentType, content);
}

void DBChat::resetAttachment()
{
    m_file_name.clear();
    m_file_size = 0;
    m_remote_path_url.clear();
    m_preview_text.clear();
    m_remote_thumb_url.clear();
    m_width = 0;
    m_height = 0;
}

bool DBChat::setContent(int contentType, const QString& text)
{
    m_content_type = contentType;
    m_content = text;
    resetAttachment();
    switch (contentType) {
    case ContentTypeText:
        return true;
    case ContentTypeImage:
        return setImageChat(text);
    case ContentTypeVideo:
        return setVideoChat(text);
    case ContentTypeFile:
        return setFileChat(text);
    default:
        return false;
    }
}

bool DBChat::setImageChat(const QString& json)
{
    return setMediaChat(json, "DBChat::setImageChat", " image_url:");
}

bool DBChat::setVideoChat(const QString& json)
{
    return setMediaChat(json, "DBChat::setVideoChat", " file_url:");
}

bool DBChat::setMediaChat(const QString& json, const char* where, const char* urlLabel)
{
    QJsonObject object;
    if (!parseObject(json, &object, where))
        return false;
    m_file_name = object.value(QStringLiteral("file_name")).toString();
    m_width = int(DBSql::jsonInt(object, QStringLiteral("width")));
    m_height = int(DBSql::jsonInt(object, QStringLiteral("height")));
    m_remote_thumb_url = object.value(QStringLiteral("remote_thumb_url")).toString();
    m_remote_path_url = object.value(QStringLiteral("remote_path_url")).toString();
    qDebug().noquote().nospace() << where << " image_name:" << m_file_name
                                 << " thumb_url:" << m_remote_thumb_url << urlLabel
                                 << m_remote_path_url;
    return true;
}

bool DBChat::setFileChat(const QString& json)
{
    QJsonObject object;
    if (!parseObject(json, &object, "DBChat::setFileChat"))
        return false;
    m_file_name = object.value(QStringLiteral("file_name")).toString();
    m_file_size = DBSql::jsonInt(object, QStringLiteral("file_size"));
    m_remote_path_url = object.value(QStringLiteral("remote_path_url")).toString();
    if (object.contains(QStringLiteral("preview_text")))
        m_preview_text = object.value(QStringLiteral("preview_text")).toString();
    return true;
}

void DBChat::setImage(const QString& remoteThumbUrl, const QString& remotePathUrl,
                      const QString& fileName, int width, int height)
{
    m_content_type = ContentTypeImage;
    m_remote_thumb_url = remoteThumbUrl;
    m_remote_path_url = remotePathUrl;
    m_file_name = fileName;
    m_width = width;
    m_height = height;
}

void DBChat::setFile(const QString& remotePathUrl, const QString& fileName, qint64 fileSize,
                     const QString& previewText)
{
    m_content_type = ContentTypeFile;
    m_remote_path_url = remotePathUrl;
    m_file_name = fileName;
    m_file_size = fileSize;
    m_preview_text = previewText;
}

QString DBChat::toMessage() const
{
    switch (m_content_type) {
    case ContentTypeImage:
    case ContentTypeVideo: {
        if (m_content_type == ContentTypeImage && m_file_name.isEmpty()) {
            qWarning().noquote().nospace() << "ChatImage::toMessage - fileName is empty";
            return QString();
        }
        QJsonObject object;
        object.insert(QStringLiteral("width"), m_width);
        object.insert(QStringLiteral("height"), m_height);
        object.insert(QStringLiteral("file_name"), m_file_name);
        object.insert(QStringLiteral("remote_thumb_url"), m_remote_thumb_url);
        object.insert(QStringLiteral("remote_path_url"), m_remote_path_url);
        return toJsonText(object);
    }
    case ContentTypeFile: {
        if (m_file_name.isEmpty()) {
            qWarning().noquote().nospace() << "ChatFile::toMessage - fileName is empty";
            return QString();
        }
        QJsonObject object;
        object.insert(QStringLiteral("file_name"), m_file_name);
        object.insert(QStringLiteral("file_size"), QJsonValue(m_file_size));
        object.insert(QStringLiteral("remote_path_url"), m_remote_path_url);
        if (!m_preview_text.isEmpty())
            object.insert(QStringLiteral("preview_text"), m_preview_text);
        return toJsonText(object);
    }
    default:
        return m_content;
    }
}

QString DBChat::toContentText() const
{
    return displayText(m_msg_type, m_content_type, m_content, m_sender_name, m_preview_text);
}

QString DBChat::displayText(int msgType, int contentType, const QString& content,
                            const QString& senderName, const QString& previewText,
                            bool anyMsgTypeShowsText)
{
    switch (contentType) {
    case ContentTypeText:
        switch (msgType) {
        case MsgTypeInvite:
        case MsgTypeAdmission:
            return QCoreApplication::translate("DBChat", "%1 invited %2",
                                               "the invitation notice: who invited, whom")
                .arg(senderName, content);
        case MsgTypeLeave:
            return QCoreApplication::translate("DBChat", "%1 leaved",
                                               "the leave notice: who left the room")
                .arg(content);
        case MsgTypeChat:
            return content;
        default:
            return anyMsgTypeShowsText ? content : QString();
        }
    case ContentTypeImage:
        return QCoreApplication::translate("DBChat", "Picture");
    case ContentTypeVideo:
        return QCoreApplication::translate("DBChat", "Video");
    case ContentTypeFile:
        return previewText.isEmpty() ? QCoreApplication::translate("DBChat", "File") : previewText;
    default:
        return QString();
    }
}

namespace {
#define MT_CHAT_ROW_VALUES                                                                         \
    " INTO TTT_CHATT (topic, msg_type, content_type, msg_id, sender_id, content, file_path, "      \
    "msg_time, count, msg_state, msg_read ) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
const QString kInsertOrReplace = QStringLiteral("INSERT OR REPLACE" MT_CHAT_ROW_VALUES);
const QString kInsert = QStringLiteral("INSERT" MT_CHAT_ROW_VALUES);
const QString kInsertOrFail = QStringLiteral("INSERT OR FAIL" MT_CHAT_ROW_VALUES);
#undef MT_CHAT_ROW_VALUES

// SQLITE_CONSTRAINT, as the driver reports it.
bool isConstraintFailure(const QSqlQuery& query)
{
    return query.lastError().nativeErrorCode() == QLatin1String("19");
}
} // namespace

void DBChat::bindRow(QSqlQuery* query) const
{
    query->addBindValue(DBSql::text(m_topic));
    query->addBindValue(m_msg_type);
    query->addBindValue(m_content_type);
    query->addBindValue(DBSql::text(m_msg_id));
    query->addBindValue(m_sender_id);
    query->addBindValue(DBSql::text(toMessage()));
    query->addBindValue(DBSql::text(m_file_path));
    query->addBindValue(m_msg_time);
    query->addBindValue(m_count);
    query->addBindValue(m_msg_state);
    query->addBindValue(DBSql::flag(m_msg_read));
}

bool DBChat::writeRow(const QString& statement, const char* where)
{
    if (!m_dbManager || !m_dbManager->inTransaction()) {
        QSqlQuery* query = DBSql::prepared(m_dbManager, statement, where);
        if (!query)
            return false;
        bindRow(query);
        return DBSql::execInsert(*query, where, &m_id);
    }
    // Both statements replace a row that holds the same msg_id (the column's own conflict
    // clause). Inside a transaction SQLite keeps a statement journal for such a statement, since
    // it may delete a row and then still abort (topic is NOT NULL), and SQLCipher enciphers every
    // page it copies into that journal: a chat stored in a batch would cost almost what a chat
    // committed on its own does. The same rows result without it. OR FAIL neither replaces nor
    // rolls back, so it needs no journal; it stops, having written nothing (not even the row id
    // counter), when the msg_id is taken, and only then is that row removed and the insert run
    // again.
    QSqlQuery* insert = DBSql::prepared(m_dbManager, kInsertOrFail, where);
    if (!insert)
        return false;
    bindRow(insert);
    if (insert->exec())
        return DBSql::insertResult(*insert, &m_id);
    if (!isConstraintFailure(*insert)) {
        DBSql::logFailure(*insert, where);
        return false;
    }
    QSqlQuery* remove =
        DBSql::prepared(m_dbManager, QStringLiteral("DELETE FROM TTT_CHATT WHERE msg_id=?"), where);
    if (!remove)
        return false;
    remove->addBindValue(DBSql::text(m_msg_id));
    if (!DBSql::exec(*remove, where))
        return false;
    bindRow(insert);
    return DBSql::execInsert(*insert, where, &m_id);
}

bool DBChat::insertOrUpdate()
{
    return writeRow(kInsertOrReplace, "DBChat::insertOrUpdate");
}

qint64 DBChat::insert()
{
    if (m_id > 0) {
        qWarning().noquote().nospace()
            << "DBChat::insert - already stored _id:" << m_id << " msg_id:" << m_msg_id;
        return -1;
    }
    if (!writeRow(kInsert, "DBChat::insert"))
        return -1;
    return m_id;
}

bool DBChat::remove()
{
    QSqlQuery* query = DBSql::prepared(
        m_dbManager, QStringLiteral("DELETE FROM TTT_CHATT WHERE msg_id=?"), "DBChat::remove");
    if (!query)
        return false;
    query->addBindValue(DBSql::text(m_msg_id));
    return DBSql::exec(*query, "DBChat::remove");
}

bool DBChat::removeAllOfTopic()
{
    if (m_topic.isEmpty()) {
        qWarning().noquote().nospace() << "DBChat::removeAllOfTopic - topic is empty";
        return false;
    }
    QSqlQuery* query =
        DBSql::prepared(m_dbManager, QStringLiteral("DELETE FROM TTT_CHATT WHERE topic=?"),
                        "DBChat::removeAllOfTopic");
    if (!query)
        return false;
    query->addBindValue(m_topic);
    return DBSql::exec(*query, "DBChat::removeAllOfTopic");
}

bool DBChat::updateByMsgId(const QString& sql, const QVariant& first, const QVariant& second,
                           const char* where)
{
    QSqlQuery* query = DBSql::prepared(m_dbManager, sql, where);
    if (!query)
        return false;
    query->addBindValue(first);
    if (second.isValid())
        query->addBindValue(second);
    query->addBindValue(DBSql::text(m_msg_id));
    return DBSql::exec(*query, where);
}

bool DBChat::updateMsgState(int msgState)
{
    if (!updateByMsgId(QStringLiteral("UPDATE TTT_CHATT SET msg_state=? WHERE msg_id=?"), msgState,
                       QVariant(), "DBChat::updateMsgState"))
        return false;
    m_msg_state = msgState;
    return true;
}

bool DBChat::updateMsgStateAndContent(int msgState, const QString& content)
{
    if (!updateByMsgId(QStringLiteral("UPDATE TTT_CHATT SET msg_state=?, content=? WHERE msg_id=?"),
                       msgState, DBSql::text(content), "DBChat::updateMsgStateAndContent"))
        return false;
    m_msg_state = msgState;
    // Keep the attachment fields in step with the new description.
    setContent(m_content_type, content);
    return true;
}

bool DBChat::updateMsgStateAndTime(int msgState, qint64 msgTime)
{
    if (!updateByMsgId(
            QStringLiteral("UPDATE TTT_CHATT SET msg_state=?, msg_time=? WHERE msg_id=?"), msgState,
            msgTime, "DBChat::updateMsgStateAndTime"))
        return false;
    m_msg_state = msgState;
    m_msg_time = msgTime;
    return true;
}

bool DBChat::updateFilePath(const QString& filePath)
{
    if (!updateByMsgId(QStringLiteral("UPDATE TTT_CHATT SET file_path=? WHERE msg_id=?"),
                       DBSql::text(filePath), QVariant(), "DBChat::updateFilePath"))
        return false;
    m_file_path = filePath;
    return true;
}
