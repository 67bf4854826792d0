#pragma once

#include "widgets/mtchatbaseitem.h"

namespace Ui {
class MtChatItem;
}
class MtChatTextBrowser;
class QUrl;

// A text message of another member: picture, name, bubble, read count and time.
class MtChatItem : public MtChatBaseItem
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
    MtChatTextBrowser* messageBox() const;
    QString readText() const;
    QString timeText() const;

    void setDateTime(const QDateTime& dateTime) override;
    int itemType() const override { return ItemType_Chat; }
    void setReadCount(int count) override;
    void setHighlight(const QString& text) override;
    void removeHighlight() override;
    bool containsGlobalPos(const QPoint& globalPos) const override;
    void copyText() override;

signals:
    void pictureButtonClicked(int userId);

private slots:
    void on_messageLabel_anchorClicked(const QUrl& arg1);
    void on_pictureButton_clicked();
    void on_viewAllButton_clicked();

private:
    Ui::MtChatItem* ui;
};
