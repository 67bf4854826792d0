#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

#include <functional>

// Picture helpers shared by the conversation, the lists and the viewers.

// The picture scaled smoothly to cover `size` and cropped around its centre, drawn into a
// transparent picture clipped to the inscribed ellipse. `ratio` is the screen's device pixel
// ratio, so the result stays sharp on high-density screens.
QPixmap mtRoundPicture(const QPixmap& picture, const QSize& size, qreal ratio = 1.0);

// The same cover-scaled, centred crop without the circle (thumbnails of the image viewer).
QPixmap mtCoverPicture(const QPixmap& picture, const QSize& size, qreal ratio = 1.0);

// Loads a resource picture, preferring its "@2x" rendering on high-density screens.
QPixmap mtLoadPicture(const QString& path, qreal ratio = 1.0);

// `make`'s picture, made once per source picture and `form` (what else shapes it: kind, size,
// ratio) while the pixmap cache holds it. Every row and window showing one picture then shares
// one pixmap, and the pixmap cache, where Qt's icons keep what they paint, holds it once instead
// of once per row ever shown (a closed window's copies stayed there until the cache was full).
QPixmap mtSharedPicture(const QPixmap& source, const QString& form,
                        const std::function<QPixmap()>& make);

// Bounds the pixmap cache, where loaded picture files and the shared pictures above stay after
// the rows and windows that showed them are gone, to what the open windows show. Qt's default
// bound (10 MB) let a day of opened and closed chat windows fill it, a tenth of the program's
// memory held for pictures nobody shows; a picture evicted is made again from its file.
void mtBoundPictureCache();
