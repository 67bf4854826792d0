#pragma once

#include "widgets/mtchatattachmentitem.h"

namespace Ui {
class MtMyChatImageItem;
}

// A picture or video of the user: the thumbnail, its open/save links, the progress of the
// upload and the transfer button that sends it again after a failure.
class MtMyChatImageItem : public MtChatAttachmentItem
{
    Q_OBJECT
public:
    explicit MtMyChatImageItem(QWidget* parent = nullptr);
    ~MtMyChatImageItem() override;

    void setChat(const QString& messageId, const QString& name, int senderId,
                 const QDateTime& dateTime, const QString& filePath, const QString& fileName,
                 const QPixmap& image, int width, int height, int contentType, int state);
    // The thumbnail, once it is known (it may arrive after the item was added).
    void setImage(const QPixmap& image);
    QPixmap image() const { return m_image; }
    QSize imageButtonSize() const;

    int itemType() const override { return ItemType_MyChatImage; }

signals:
    void readUserPopupOpened(QString msgId);

private slots:
    void on_imageButton_clicked();
    void on_linkLabel_linkActivated(const QString& link);
    void on_transferButton_clicked();
    void on_readLabel_linkActivated(const QString& link);

private:
    Ui::MtMyChatImageItem* ui;
    QPixmap m_image;
    int m_width = 0;
    int m_height = 0;
};
