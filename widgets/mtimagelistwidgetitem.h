#pragma once

#include <QDateTime>
#include <QListWidgetItem>
#include <QPixmap>

// One picture of the image viewer's thumbnail strip. The image path stays empty until the chat
// window has the full picture on disk.
class MtImageListWidgetItem : public QListWidgetItem
{
public:
    static constexpr int kType = QListWidgetItem::UserType + 1;

    MtImageListWidgetItem(const QString& messageId, const QString& senderName,
                          const QDateTime& time, const QPixmap& thumbnail,
                          const QString& imagePath);

    QString messageId() const { return m_messageId; }
    QString senderName() const { return m_senderName; }
    QDateTime time() const { return m_time; }
    void setTime(const QDateTime& time) { m_time = time; }
    QPixmap thumbnail() const { return m_thumbnail; }
    void setThumbnail(const QPixmap& thumbnail);
    QString imagePath() const { return m_imagePath; }
    void setImagePath(const QString& path) { m_imagePath = path; }

private:
    QString m_messageId;
    QString m_senderName;
    QDateTime m_time;
    QPixmap m_thumbnail;
    QString m_imagePath;
};
