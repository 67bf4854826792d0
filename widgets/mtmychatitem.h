#pragma once

#include "widgets/mtchattextitem.h"

namespace Ui {
class MtMyChatItem;
}
class QUrl;

// A text message of the user: bubble on the right, the read count as a link to the readers,
// and a transfer button while it is sent or after sending failed (then it sends again).
class MtMyChatItem : public MtChatTextItem
{
    Q_OBJECT
public:
    explicit MtMyChatItem(QWidget* parent = nullptr);
    ~MtMyChatItem() override;

    void setChat(const QString& messageId, const QString& name, int senderId,
                 const QDateTime& dateTime, const QString& content, int contentType, int state);
    bool isTransferShown() const;
    bool isTransferEnabled() const;

    int itemType() const override { return ItemType_MyChat; }
    void setState(int state) override;

signals:
    void readUserPopupOpened(QString msgId);

private slots:
    void on_messageLabel_anchorClicked(const QUrl& arg1);
    void on_transferButton_clicked();
    void on_readLabel_linkActivated(const QString& link);

private:
    Ui::MtMyChatItem* ui;
};
