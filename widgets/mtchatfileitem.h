#pragma once

#include "widgets/mtattachmentcontrols.h"
#include "widgets/mtchatbaseitem.h"

namespace Ui {
class MtChatFileItem;
}

// A file of another member: picture, name, the file's name and size in a bubble, its open/save
// links and the progress of a download.
class MtChatFileItem : public MtChatBaseItem
{
    Q_OBJECT
public:
    explicit MtChatFileItem(QWidget* parent = nullptr);
    ~MtChatFileItem() override;

    void setChat(const QString& messageId, const QPixmap& picture, const QString& name,
                 int senderId, const QDateTime& dateTime, const QString& filePath,
                 const QString& fileName, qint64 fileSize, int state);
    qint64 fileSize() const { return m_fileSize; }
    void setFilePath(const QString& path);
    // Refreshes the link line from whether the file is on disk.
    void savedFileCheck();
    const MtAttachmentControls& controls() const { return m_controls; }
    QString readText() const;
    QString linkText() const;
    QString progressText() const;
    QString fileSizeText() const;

    int itemType() const override { return ItemType_ChatFile; }
    void setReadCount(int count) override;
    void setState(int state) override;
    void setProgress(int value) override;
    bool containsGlobalPos(const QPoint& globalPos) const override;

signals:
    void pictureButtonClicked(int userId);

private slots:
    void on_linkLabel_linkActivated(const QString& link);
    void on_pictureButton_clicked();

private:
    Ui::MtChatFileItem* ui;
    MtAttachmentControls m_controls;
    qint64 m_fileSize = 0;
};
