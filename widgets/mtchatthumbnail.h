#pragma once

#include <QPixmap>
#include <QSize>

// The picture of an image bubble: scaled down to fit `base` (keeping its aspect ratio), with
// rounded corners and a thin border; a video gets a play mark. Until the thumbnail arrives a
// placeholder of the picture's proportions (`width` x `height`) stands in.
QPixmap mtChatThumbnail(const QPixmap& picture, const QSize& base, int width, int height,
                        bool video, qreal ratio = 1.0);
