#pragma once

#include "widgets/mtchattextitem.h"

namespace Ui {
class MtChatItem;
}
class QUrl;

// A text message of another member: picture, name, bubble, read count and time.
class MtChatItem : public MtChatTextItem
{
    Q_OBJECT
public:
    explicit MtChatItem(QWidget* parent = nullptr);
    ~MtChatItem() override;

    // content_type 4 marks a long text sent as a file: the bubble shows its preview and offers
    // the whole text.
    void setChat(const QString& messageId, const QPixmap& picture, const QString& name,
                 int senderId, const QDateTime& dateTime, const QString& content, int contentType,
                 int state);

    int itemType() const override { return ItemType_Chat; }

signals:
    void pictureButtonClicked(int userId);

private slots:
    void on_messageLabel_anchorClicked(const QUrl& arg1);
    void on_pictureButton_clicked();

private:
    Ui::MtChatItem* ui;
};
