#pragma once

#include "widgets/mtchatattachmentitem.h"

namespace Ui {
class MtMyChatFileItem;
}

// A file of the user: name and size in a bubble, its open/save links, the progress of the
// upload and the transfer button that sends it again after a failure.
class MtMyChatFileItem : public MtChatAttachmentItem
{
    Q_OBJECT
public:
    explicit MtMyChatFileItem(QWidget* parent = nullptr);
    ~MtMyChatFileItem() override;

    void setChat(const QString& messageId, const QString& name, int senderId,
                 const QDateTime& dateTime, const QString& filePath, const QString& fileName,
                 qint64 fileSize, int state);
    qint64 fileSize() const { return m_fileSize; }
    QString fileSizeText() const;

    int itemType() const override { return ItemType_MyChatFile; }

signals:
    void readUserPopupOpened(QString msgId);

private slots:
    void on_linkLabel_linkActivated(const QString& link);
    void on_transferButton_clicked();
    void on_readLabel_linkActivated(const QString& link);

private:
    Ui::MtMyChatFileItem* ui;
    qint64 m_fileSize = 0;
};
