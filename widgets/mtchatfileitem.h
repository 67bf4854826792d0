#pragma once

#include "widgets/mtchatattachmentitem.h"

namespace Ui {
class MtChatFileItem;
}

// A file of another member: picture, name, the file's name and size in a bubble, its open/save
// links and the progress of a download.
class MtChatFileItem : public MtChatAttachmentItem
{
    Q_OBJECT
public:
    explicit MtChatFileItem(QWidget* parent = nullptr);
    ~MtChatFileItem() override;

    void setChat(const QString& messageId, const QPixmap& picture, const QString& name,
                 int senderId, const QDateTime& dateTime, const QString& filePath,
                 const QString& fileName, qint64 fileSize, int state);
    qint64 fileSize() const { return m_fileSize; }
    QString fileSizeText() const;

    int itemType() const override { return ItemType_ChatFile; }

signals:
    void pictureButtonClicked(int userId);

private slots:
    void on_linkLabel_linkActivated(const QString& link);
    void on_pictureButton_clicked();

private:
    Ui::MtChatFileItem* ui;
    qint64 m_fileSize = 0;
};
