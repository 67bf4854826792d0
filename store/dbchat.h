#pragma once

#include "store/content.h"

#include <QString>
#include <QVariant>

class QSqlQuery;

// A row of TTT_CHATT, with the sender's name and thumbnail joined in from TTT_USER. Attachments
// (content_type 2, 3, 4) keep their description as JSON in the content column; the attachment
// fields below are parsed from it and written back by toMessage().
class DBChat : public Content
{
public:
    // The column list setFromRow() reads, by position; "C" is TTT_CHATT, "U" the joined TTT_USER.
    static constexpr const char* kSelectColumns =
        "C._id, topic, C.msg_id, C.sender_id, U.user_name, U.thumb_url, msg_type, content_type, "
        "content, file_path, msg_time, msg_state, count, msg_read";

    explicit DBChat(DBManager* dbManager = nullptr);
    ~DBChat() override;
    DBChat(const DBChat&) = default;
    DBChat& operator=(const DBChat&) = default;
    DBChat(DBChat&&) = default;
    DBChat& operator=(DBChat&&) = default;

    // Fills the record from a row of kSelectColumns.
    void setFromRow(const QSqlQuery& query);

    // Sets content_type and the content: a text (1) as it is, an attachment (2, 3, 4) parsed from
    // its JSON. False for any other content_type (which is stored all the same) and for
    // attachment JSON that does not parse (the attachment fields then stay empty).
    bool setContent(int contentType, const QString& text);
    bool setImageChat(const QString& json);
    bool setVideoChat(const QString& json);
    bool setFileChat(const QString& json);
    // A locally composed picture or file (content_type 2 or 4).
    void setImage(const QString& remoteThumbUrl, const QString& remotePathUrl,
                  const QString& fileName, int width, int height);
    void setFile(const QString& remotePathUrl, const QString& fileName, qint64 fileSize,
                 const QString& previewText);

    // The content to store and send: the text, or the attachment's JSON.
    QString toMessage() const;
    // The one-line text that stands for the chat in lists and notifications.
    QString toContentText() const;
    // toContentText() from the stored columns alone. With anyMsgTypeShowsText a text row shows
    // its content whatever its msg_type (except the notices 3, 4 and 5).
    static QString displayText(int msgType, int contentType, const QString& content,
                               const QString& senderName, const QString& previewText,
                               bool anyMsgTypeShowsText = false);

    // Record operations on the dbManager's connection.
    bool insertOrUpdate();
    // A plain INSERT, only for a record never stored (id() <= 0): the new _id, or -1.
    qint64 insert();
    bool remove();
    // Removes every chat of the record's topic (reader rows stay). Refused for an empty topic.
    bool removeAllOfTopic();
    bool updateMsgState(int msgState);
    bool updateMsgStateAndContent(int msgState, const QString& content);
    bool updateMsgStateAndTime(int msgState, qint64 msgTime);
    bool updateFilePath(const QString& filePath);

    QString senderName() const { return m_sender_name; }
    void setSenderName(const QString& name) { m_sender_name = name; }
    QString senderThumbUrl() const { return m_sender_thumb_url; }
    void setSenderThumbUrl(const QString& url) { m_sender_thumb_url = url; }
    QString filePath() const { return m_file_path; }
    void setFilePath(const QString& path) { m_file_path = path; }
    QString fileName() const { return m_file_name; }
    void setFileName(const QString& name) { m_file_name = name; }
    qint64 fileSize() const { return m_file_size; }
    void setFileSize(qint64 size) { m_file_size = size; }
    QString remotePathUrl() const { return m_remote_path_url; }
    void setRemotePathUrl(const QString& url) { m_remote_path_url = url; }
    QString previewText() const { return m_preview_text; }
    void setPreviewText(const QString& text) { m_preview_text = text; }
    QString remoteThumbUrl() const { return m_remote_thumb_url; }
    void setRemoteThumbUrl(const QString& url) { m_remote_thumb_url = url; }
    int width() const { return m_width; }
    void setWidth(int width) { m_width = width; }
    int height() const { return m_height; }
    void setHeight(int height) { m_height = height; }
    QString topic() const { return m_topic; }
    void setTopic(const QString& topic) { m_topic = topic; }
    int msgType() const { return m_msg_type; }
    void setMsgType(int type) { m_msg_type = type; }
    int contentType() const { return m_content_type; }
    void setContentType(int type) { m_content_type = type; }
    QString msgId() const { return m_msg_id; }
    void setMsgId(const QString& id) { m_msg_id = id; }
    qint64 senderId() const { return m_sender_id; }
    void setSenderId(qint64 id) { m_sender_id = id; }
    QString content() const { return m_content; }
    qint64 msgTime() const { return m_msg_time; }
    void setMsgTime(qint64 time) { m_msg_time = time; }
    int count() const { return m_count; }
    void setCount(int count) { m_count = count; }
    int msgState() const { return m_msg_state; }
    void setMsgState(int state) { m_msg_state = state; }
    bool msgRead() const { return m_msg_read; }
    void setMsgRead(bool read) { m_msg_read = read; }

private:
    void resetAttachment();
    // Image and video content (the same keys); `where` and `urlLabel` name them in the log.
    bool setMediaChat(const QString& json, const char* where, const char* urlLabel);
    // Runs the INSERT of insertOrUpdate() or insert() (`statement`) with the record's values.
    bool writeRow(const QString& statement, const char* where);
    void bindRow(QSqlQuery* query) const;
    bool updateByMsgId(const QString& sql, const QVariant& first, const QVariant& second,
                       const char* where);

    QString m_sender_name;
    QString m_sender_thumb_url;
    QString m_file_path;
    QString m_file_name;
    qint64 m_file_size = 0;
    QString m_remote_path_url;
    QString m_preview_text;
    QString m_remote_thumb_url;
    int m_width = 0;
    int m_height = 0;
    QString m_topic;
    int m_msg_type = 0;
    int m_content_type = 1;
    QString m_msg_id;
    qint64 m_sender_id = 0;
    QString m_content;
    qint64 m_msg_time = 0;
    int m_count = 0;
    int m_msg_state = 0;
    bool m_msg_read = false;
};
