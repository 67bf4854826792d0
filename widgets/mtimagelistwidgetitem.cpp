#include "widgets/mtimagelistwidgetitem.h"

MtImageListWidgetItem::MtImageListWidgetItem(const QString& messageId, const QString& senderName,
                                             const QDateTime& time, const QPixmap& thumbnail,
                                             const QString& imagePath)
    : QListWidgetItem(nullptr, kType), m_messageId(messageId), m_senderName(senderName),
      m_time(time), m_imagePath(imagePath)
{
    setThumbnail(thumbnail);
}

void MtImageListWidgetItem::setThumbnail(const QPixmap& thumbnail)
{
    m_thumbnail = thumbnail;
    // The selection is shown by the strip's frame; the picture itself stays untinted.
    QIcon icon;
    icon.addPixmap(thumbnail, QIcon::Normal);
    icon.addPixmap(thumbnail, QIcon::Selected);
    setIcon(icon);
}
