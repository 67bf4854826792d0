#pragma once

#include "widgets/mtattachmentcontrols.h"
#include "widgets/mtchatbaseitem.h"

namespace Ui {
class MtMyChatFileItem;
}

// A file of the user: name and size in a bubble, its open/save links, the progress of the
// upload and the transfer button that sends it again after a failure.
class MtMyChatFileItem : public MtChatBaseItem
{
    Q_OBJECT
public:
    explicit MtMyChatFileItem(QWidget* parent = nullptr);
    ~MtMyChatFileItem() override;

    void setChat(const QString& messageId, const QString& name, int senderId,
                 const QDateTime& dateTime, const QString& filePath, const QString& fileName,
                 qint64 fileSize, int state);
    qint64 fileSize() const { return m_fileSize; }
    void setFilePath(const QString& path);
    // Refreshes the link line from whether the file is on disk.
    void savedFileCheck();
    const MtAttachmentControls& controls() const { return m_controls; }
    QString readText() const;
    QString linkText() const;
    QString progressText() const;
    QString fileSizeText() const;

    int itemType() const override { return ItemType_MyChatFile; }
    void setReadCount(int count) override;
    void setState(int state) override;
    void setProgress(int value) override;
    bool containsGlobalPos(const QPoint& globalPos) const override;

signals:
    void readUserPopupOpened(QString msgId);

private slots:
    void on_linkLabel_linkActivated(const QString& link);
    void on_transferButton_clicked();
    void on_readLabel_linkActivated(const QString& link);

private:
    Ui::MtMyChatFileItem* ui;
    MtAttachmentControls m_controls;
    qint64 m_fileSize = 0;
};
