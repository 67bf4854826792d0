#include "invite/invitepictures.h"

#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "widgets/mtpicture.h"

#include <QDebug>
#include <QPixmapCache>
#include <QWidget>

InvitePictures::InvitePictures(const QString& defaultPicture, QWidget* owner)
    : QObject(owner), m_defaultPicture(defaultPicture), m_owner(owner)
{}

void InvitePictures::setEngine(NetServerManager* net)
{
    if (m_net)
        disconnect(m_net, nullptr, this, nullptr);
    m_net = net;
    if (!net)
        return;
    connect(net, &NetServerManager::onImageSuccess, this, &InvitePictures::onImageSuccess);
    connect(net, &NetServerManager::onImageFailure, this, &InvitePictures::onImageFailure);
    // People marked missing without an engine may have a picture now.
    m_missing.clear();
}

QPixmap InvitePictures::picture(const QString& thumbUrl, int size, qreal ratio)
{
    const QString key = QStringLiteral("mt-invite:%1:%2:%3").arg(size).arg(ratio).arg(thumbUrl);
    QPixmap found;
    if (QPixmapCache::find(key, &found))
        return found;
    const QString defaultKey = QStringLiteral("mt-invite:%1:%2:").arg(size).arg(ratio);
    const auto fallback = [&]() {
        QPixmap pixmap;
        if (!QPixmapCache::find(defaultKey, &pixmap)) {
            pixmap =
                mtRoundPicture(mtLoadPicture(m_defaultPicture, ratio), QSize(size, size), ratio);
            QPixmapCache::insert(defaultKey, pixmap);
        }
        return pixmap;
    };
    if (thumbUrl.isEmpty() || m_missing.contains(thumbUrl) || m_requested.contains(thumbUrl))
        return fallback();
    // Only the rows on screen are painted, so only their files are looked up and decoded.
    const QString file = FileManager::cachedFile(thumbUrl);
    QPixmap decoded = file.isEmpty() ? QPixmap() : QPixmap(file);
    if (decoded.isNull()) {
        if (m_net) {
            m_requested.insert(thumbUrl);
            const QString cached = m_net->requestImage(thumbUrl, m_owner);
            if (!cached.isEmpty()) {
                m_requested.remove(thumbUrl);
                decoded = QPixmap(cached);
            }
        }
        if (decoded.isNull()) {
            if (!m_net)
                m_missing.insert(thumbUrl);
            return fallback();
        }
    }
    const QPixmap round = mtRoundPicture(decoded, QSize(size, size), ratio);
    QPixmapCache::insert(key, round);
    return round;
}

void InvitePictures::onImageSuccess(const QString& url, const QString& filePath, QWidget* widget)
{
    if (widget != m_owner || !m_requested.remove(url))
        return;
    qDebug().noquote() << "InvitePictures::onImageSuccess url:" << url << "file:" << filePath;
    emit pictureReady(url);
}

void InvitePictures::onImageFailure(const QString& url, QWidget* widget)
{
    if (widget != m_owner || !m_requested.remove(url))
        return;
    qWarning().noquote() << "InvitePictures::onImageFailure url:" << url;
    m_missing.insert(url);
}
