#pragma once

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSet>

class NetServerManager;
class QWidget;

// Round profile pictures for the rows of the invitation and member lists: decoded once from the
// cached thumbnail and kept in the process's picture cache, the default picture while there is
// none. With an engine, a thumbnail missing from the cache is fetched once and `pictureReady`
// tells the list to repaint.
class InvitePictures : public QObject
{
    Q_OBJECT
public:
    InvitePictures(const QString& defaultPicture, QWidget* owner);

    void setEngine(NetServerManager* net);
    // The picture of `thumbUrl` at `size` (device-independent pixels).
    QPixmap picture(const QString& thumbUrl, int size, qreal ratio);

signals:
    void pictureReady(QString thumbUrl);

private:
    void onImageSuccess(const QString& url, const QString& filePath, QWidget* widget);
    void onImageFailure(const QString& url, QWidget* widget);

    QString m_defaultPicture;
    QWidget* m_owner;
    QPointer<NetServerManager> m_net;
    QSet<QString> m_missing;   // no cached file and no fetch possible or it failed
    QSet<QString> m_requested; // fetch in flight
};
