#pragma once

#include "widgets/mtchatattachmentitem.h"

namespace Ui {
class MtChatImageItem;
}

// A picture or video of another member: picture, name, the thumbnail, its open/save links and
// the progress of a download.
class MtChatImageItem : public MtChatAttachmentItem
{
    Q_OBJECT
public:
    explicit MtChatImageItem(QWidget* parent = nullptr);
    ~MtChatImageItem() override;

    void setChat(const QString& messageId, const QPixmap& picture, const QString& name,
                 int senderId, const QDateTime& dateTime, const QString& filePath,
                 const QString& fileName, const QPixmap& image, int width, int height,
                 int contentType, int state);
    // The thumbnail, once it is known (it may arrive after the item was added).
    void setImage(const QPixmap& image);
    QPixmap image() const { return m_image; }
    QSize imageButtonSize() const;

    int itemType() const override { return ItemType_ChatImage; }

signals:
    void pictureButtonClicked(int userId);

private slots:
    void on_imageButton_clicked();
    void on_linkLabel_linkActivated(const QString& link);
    void on_pictureButton_clicked();

private:
    Ui::MtChatImageItem* ui;
    QPixmap m_image;
    int m_width = 0;
    int m_height = 0;
};
