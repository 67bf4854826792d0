#include "net/netdecodedpictures.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPair>
#include <QVector>

namespace {

QMutex g_decodedMutex;
// Oldest first.
QVector<QPair<QString, QImage>> g_decoded;

} // namespace

void NetDecodedPictures::put(const QString& filePath, const QByteArray& bytes)
{
    QImage image = QImage::fromData(bytes);
    if (image.isNull())
        return;
    // Converted here to the formats the window's pixmaps take, rather than when it is taken.
    image = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                    : image.convertToFormat(QImage::Format_RGB32);
    QMutexLocker lock(&g_decodedMutex);
    for (int i = 0; i < g_decoded.size(); ++i) {
        if (g_decoded.at(i).first == filePath) {
            g_decoded.remove(i);
            break;
        }
    }
    if (g_decoded.size() >= kKept)
        g_decoded.removeFirst();
    g_decoded.append({filePath, image});
}

QImage NetDecodedPictures::take(const QString& filePath)
{
    QMutexLocker lock(&g_decodedMutex);
    for (int i = 0; i < g_decoded.size(); ++i) {
        if (g_decoded.at(i).first == filePath)
            return g_decoded.takeAt(i).second;
    }
    return QImage();
}
