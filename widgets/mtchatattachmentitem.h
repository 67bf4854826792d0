#pragma once

#include "widgets/mtattachmentcontrols.h"
#include "widgets/mtchatbaseitem.h"

class ElideLabel;
class QPushButton;

// What the picture and file bubbles of both sides share: the open/save link line, the progress
// of a transfer, the read count and the hit test on the picture or file box. Own bubbles show
// the readers as a link and their sending with the transfer button; other members' bubbles show
// only downloads. Each subclass keeps its form and hands the shared widgets over once it is set
// up.
class MtChatAttachmentItem : public MtChatBaseItem
{
    Q_OBJECT
public:
    void setFilePath(const QString& path);
    // Refreshes the link line from whether the file is on disk.
    void savedFileCheck();
    const MtAttachmentControls& controls() const { return m_controls; }
    QString readText() const;
    QString linkText() const;
    QString progressText() const;

    void setReadCount(int count) override;
    void setState(int state) override;
    void setProgress(int value) override;
    bool containsGlobalPos(const QPoint& globalPos) const override;

protected:
    MtChatAttachmentItem(int contentType, QWidget* parent);
    // `box` is what the hit test covers: the thumbnail or the file bubble.
    void setParts(bool own, const MtAttachmentControls& controls, QLabel* readLabel,
                  QLabel* timeLabel, QWidget* box);
    // The values every attachment carries; the subclass fills its own widgets after it.
    void setAttachment(const QString& messageId, const QString& name, int senderId,
                       const QDateTime& dateTime, const QString& filePath, const QString& fileName);
    // Reacts to a link of the open/save line.
    void activateLink(const QString& link, bool openAsImage);
    // Pictures and videos: the thumbnail on its button, scaled down to the button's base size.
    void showThumbnail(QPushButton* button, const QPixmap& image, int width, int height);
    // A picture opens in the viewer; a video opens once it is on disk and is saved before.
    void openMedia();
    // Files: the file picture, and a long name elided in its middle.
    void setUpFileBox(QLabel* iconLabel, ElideLabel* fileNameLabel);
    // Files: the name (whole in the tooltip) and the size.
    void showFile(ElideLabel* fileNameLabel, QLabel* fileSizeLabel, qint64 fileSize);

private:
    bool m_own = false;
    MtAttachmentControls m_controls;
    QLabel* m_readLabel = nullptr;
    QLabel* m_timeLabel = nullptr;
    QWidget* m_box = nullptr;
};
