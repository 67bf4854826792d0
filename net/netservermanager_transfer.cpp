// File transfer: multipart uploads, picture fetches into the cache and downloads, each a task on
// the engine's pool with the network access object its thread keeps.
#include "net/netservermanager.h"

#include "net/filemanager.h"
#include "net/netanswer.h"
#include "net/netdecodedpictures.h"
#include "net/neterrorbody.h"
#include "net/netidletimeout.h"
#include "net/netsessionheaders.h"
#include "net/netsparefiles.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QSaveFile>
#include <QTemporaryFile>

namespace {
int httpStatus(const QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// A path chosen by the user never climbs out of its folder; one that does was put together
// from a name that came from elsewhere.
bool climbsUp(const QString& path)
{
    const QStringList parts =
        QString(path).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".."));
}

// Writes through a temporary file that is renamed over the target only when complete, so that
// a reader (or a second fetch of the same file) never sees half of it.
bool writeWhole(const QString& target, const QByteArray& bytes, QString* error)
{
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("Can't open file");
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("Can't write file");
        return false;
    }
    return true;
}

// A picture for the cache, written as writeWhole() does but without waiting for the disk: a
// picture lost to a crash is fetched again, and a sync per picture held each fetch of a login
// behind the one before.
bool writeCached(const QString& target, const QByteArray& bytes, QString* error)
{
    if (NetSpareFiles::write(target, bytes))
        return true;
    QDir().mkpath(QFileInfo(target).absolutePath());
    QTemporaryFile part(target + QStringLiteral(".XXXXXX"));
    if (!part.open() || part.write(bytes) != bytes.size() || !part.flush()) {
        *error = QStringLiteral("Can't write file");
        return false;
    }
    if (part.rename(target)) {
        part.setAutoRemove(false);
        return true;
    }
    // Another engine (a chat window's) has put the same picture there meanwhile.
    *error = QStringLiteral("Can't rename file");
    return QFileInfo::exists(target);
}
} // namespace

void NetServerManager::prepareSparePictureFiles()
{
    // The pictures of the first rows after a login, up to four a row, and the user's own.
    constexpr int kSpares = 32;
    NetSpareFiles::prepare(FileManager::cacheFolder() + QStringLiteral("/.spare"), kSpares);
}

QUrl NetServerManager::transferUrl(const QString& urlFilePath) const
{
    const QUrl url(urlFilePath);
    if (url.scheme() == QLatin1String("https") && !url.host().isEmpty())
        return url;
    return makeUrl(urlFilePath);
}

bool NetServerManager::upload(const QString& reqId, const QString& path, const QString& filePath,
                              const NetFields& form)
{
    const QUrl url = makeUrl(path);
    const NetSessionHeaders headers = NetSessionHeaders::capture();
    return startTask([=] { runUpload(reqId, url, filePath, form, headers); });
}

bool NetServerManager::uploadProfileImage(const QString& reqId, const QString& filePath,
                                          const QString& fileKey, const QSize& size)
{
    const NetFields form = {{QStringLiteral("userId"), ownIdText()},
                            {QStringLiteral("fileKey"), fileKey},
                            {QStringLiteral("fileSeq"), QStringLiteral("0")},
                            {QStringLiteral("contentType"), QStringLiteral("20")},
                            {QStringLiteral("thumbType"), QStringLiteral("40")},
                            {QStringLiteral("width"), QString::number(size.width())},
                            {QStringLiteral("height"), QString::number(size.height())}};
    return upload(reqId, QStringLiteral("/rest/file"), filePath, form);
}

bool NetServerManager::uploadChatImage(const QString& reqId, const QString& filePath,
                                       const QSize& size)
{
    const NetFields form = {{QStringLiteral("userId"), ownIdText()},
                            {QStringLiteral("contentType"), QStringLiteral("20")},
                            {QStringLiteral("thumbType"), QStringLiteral("20")},
                            {QStringLiteral("width"), QString::number(size.width())},
                            {QStringLiteral("height"), QString::number(size.height())}};
    return upload(reqId, QStringLiteral("/rest/file/chat"), filePath, form);
}

bool NetServerManager::uploadChatFile(const QString& reqId, const QString& filePath)
{
    const NetFields form = {{QStringLiteral("userId"), ownIdText()},
                            {QStringLiteral("contentType"), QStringLiteral("10")},
                            {QStringLiteral("thumbType"), QStringLiteral("10")},
                            {QStringLiteral("width"), QStringLiteral("0")},
                            {QStringLiteral("height"), QStringLiteral("0")}};
    return upload(reqId, QStringLiteral("/rest/file/chat"), filePath, form);
}

void NetServerManager::runUpload(const QString& reqId, const QUrl& url, const QString& filePath,
                                 const NetFields& form, const NetSessionHeaders& headers)
{
    delete postMultipart(m_keptManagers.current(), url, reqId, filePath, form, headers);
}

QNetworkReply* NetServerManager::httpPostMultipart(QNetworkAccessManager* manager, const QUrl& url,
                                                   const QString& reqId, const QString& filePath,
                                                   const NetFields& form)
{
    return postMultipart(manager, url, reqId, filePath, form, NetSessionHeaders::capture());
}

QNetworkReply* NetServerManager::postMultipart(QNetworkAccessManager* manager, const QUrl& url,
                                               const QString& reqId, const QString& filePath,
                                               const NetFields& form,
                                               const NetSessionHeaders& headers)
{
    qDebug().noquote().nospace() << "NetServerManager::httpPostMultipart - reqUrl="
                                 << url.toString();
    const QByteArray boundary = NetMultipart::randomBoundary();
    QHttpMultiPart* multipart = NetMultipart::build(boundary, form, filePath, nullptr);
    if (!multipart) {
        qWarning().noquote().nospace()
            << "NetServerManager::httpPostMultipart - cannot read filePath:" << filePath;
        emit onUploadFailure(reqId, kErrorNetwork, QStringLiteral("reply is NULL"));
        return nullptr;
    }
    QNetworkRequest request = newRequest(url);
    headers.apply(request, NetMultipart::contentType(boundary));
    QNetworkReply* reply = manager->post(request, multipart);
    if (!reply) {
        delete multipart;
        emit onUploadFailure(reqId, kErrorNetwork, QStringLiteral("reply is NULL"));
        return nullptr;
    }
    multipart->setParent(reply);
    reply->setProperty("reqId", reqId);
    // The sender of a signal is not known across threads: the reply's progress is forwarded
    // here, on the reply's own thread. A figure below one already reported (Qt's closing (0, 0)
    // report) is left out, so that the progress a caller sees never falls back. The last figure
    // lives in the connection, which outlives this call as long as the caller keeps the reply.
    connect(reply, &QNetworkReply::uploadProgress, reply,
            [this, reqId, lastSent = qint64(-1)](qint64 sent, qint64 total) mutable {
                if (sent < lastSent)
                    return;
                lastSent = sent;
                emit onUploadProgress(reqId, sent, total);
            });
    waitInLoop(reply);

    if (reply->error() != QNetworkReply::NoError) {
        const QByteArray body = reply->readAll();
        qWarning().noquote().nospace() << "NetServerManager::httpPostMultipart - reqId=" << reqId
                                       << ", error=" << reply->errorString();
        if (NetIdleTimeout::hasTimedOut(reply)) {
            emit onUploadFailure(reqId, kErrorNetwork, timedOutText());
            return reply;
        }
        if (body.isEmpty()) {
            emit onUploadFailure(reqId, httpStatus(reply), QStringLiteral("http error code"));
            return reply;
        }
        const NetErrorBody error = NetErrorBody::decode(body);
        qCritical().noquote().nospace()
            << "NetServerManager::httpRequest - errCode=" << error.code()
            << ", developerMessage=" << error.developerMessage();
        emit onUploadFailure(reqId, error.code(), error.message());
        return reply;
    }
    if (httpStatus(reply) != 200) {
        qWarning().noquote().nospace() << "NetServerManager::httpPostMultipart - reqId=" << reqId
                                       << " not answered, httpCode=" << httpStatus(reply);
        emit onUploadFailure(reqId, kErrorUnreadable, unreadableText());
        return reply;
    }
    const NetAnswer answer = NetAnswer::read(
        reply->readAll(), "NetServerManager::httpPostMultipart", QStringLiteral("reqId=") + reqId);
    if (answer.isReadable())
        emit onUploadSuccess(reqId, answer.object());
    else
        emit onUploadFailure(reqId, kErrorUnreadable, unreadableText());
    return reply;
}

QString NetServerManager::requestImage(const QString& urlFilePath, QWidget* widget)
{
    const QString cached = FileManager::cachedFile(urlFilePath);
    if (!cached.isEmpty())
        return cached;
    if (m_inflight.isAborting()) {
        qWarning().noquote().nospace()
            << "NetServerManager::requestImage - stopping, not fetched:" << urlFilePath;
        return QString();
    }
    m_pictures.add(urlFilePath, widget);
    startPictureFetches();
    return QString();
}

void NetServerManager::startPictureFetches()
{
    QString url;
    while (m_pictures.takeNext(&url)) {
        if (!startTask([this, url] { runPictureFetches(url); })) {
            m_pictures.finish(url);
            m_pictures.clearWaiting();
            qWarning().noquote().nospace()
                << "NetServerManager::requestImage - stopping, not fetched:" << url;
            return;
        }
    }
}

void NetServerManager::runPictureFetches(QString urlFilePath)
{
    // The task keeps its place in the queue while pictures wait, so a login's pictures go over
    // the few connections of the few threads that fetch them.
    bool more = true;
    while (more) {
        const QString filePath = fetchPicture(urlFilePath);
        QString next;
        const QList<QWidget*> waiters = m_pictures.finishAndTakeNext(urlFilePath, &next, &more);
        for (QWidget* widget : waiters) {
            if (filePath.isEmpty())
                emit onImageFailure(urlFilePath, widget);
            else
                emit onImageSuccess(urlFilePath, filePath, widget);
        }
        firstPictureEnded(urlFilePath);
        if (more && m_inflight.isAborting()) {
            m_pictures.finish(next);
            m_pictures.clearWaiting();
            return;
        }
        urlFilePath = next;
    }
}

QString NetServerManager::fetchPicture(const QString& urlFilePath)
{
    // The file requestImage() looks for next time: named after the whole address, so that a
    // picture asked for with a query (a new version of it) is fetched once and then found.
    const QString filePath = FileManager::cacheFilePath(urlFilePath);
    if (filePath.isEmpty()) {
        qWarning().noquote().nospace()
            << "NetServerManager::requestImage - no file name in urlFilePath:" << urlFilePath;
        return QString();
    }
    QNetworkReply* reply = m_keptManagers.current()->get(newRequest(transferUrl(urlFilePath)));
    waitInLoop(reply);
    if (reply->error() != QNetworkReply::NoError) {
        qWarning().noquote().nospace()
            << "NetServerManager::requestImage - urlFilePath:" << urlFilePath
            << " error:" << reply->errorString();
        delete reply;
        return QString();
    }
    QString error;
    const QByteArray bytes = reply->readAll();
    const bool written = writeCached(filePath, bytes, &error);
    delete reply;
    if (!written) {
        qWarning().noquote().nospace()
            << "NetServerManager::requestImage - failed to save filePath:" << filePath << " "
            << error;
        return QString();
    }
    // A login's first pictures go into the rows in view as they come, while the window waits.
    bool first = false;
    {
        QMutexLocker lock(&m_aheadMutex);
        first = m_firstPictures.contains(urlFilePath);
    }
    if (first)
        NetDecodedPictures::put(filePath, bytes);
    return filePath;
}

bool NetServerManager::downloadFile(const QString& reqId, const QString& urlFilePath,
                                    const QString& saveFilePath)
{
    return startTask([=] { runDownload(reqId, urlFilePath, saveFilePath); });
}

void NetServerManager::runDownload(const QString& reqId, const QString& urlFilePath,
                                   const QString& saveFilePath)
{
    QNetworkReply* reply = m_keptManagers.current()->get(newRequest(transferUrl(urlFilePath)));
    reply->setProperty("reqId", reqId);
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [this, reqId](qint64 received, qint64 total) {
                emit onDownloadProgress(reqId, received, total);
            });
    waitInLoop(reply);
    const int status = httpStatus(reply);
    if (reply->error() != QNetworkReply::NoError) {
        // A download gone silent is a network failure, whatever status came before it.
        const bool timedOut = NetIdleTimeout::hasTimedOut(reply);
        const QString text = timedOut ? timedOutText() : reply->errorString();
        delete reply;
        qWarning().noquote().nospace()
            << "NetServerManager::fileFinished - reqId=" << reqId << " error:" << text;
        emit onDownloadFailure(reqId, timedOut ? int(kErrorNetwork) : status, text);
        return;
    }
    const QString target =
        saveFilePath.isEmpty() ? FileManager::cacheFilePath(reply->url().path()) : saveFilePath;
    qDebug().noquote().nospace() << "NetServerManager::fileFinished path:" << reply->url().path()
                                 << " filePath:" << target;
    QString error = QStringLiteral("Can't open file");
    const bool written =
        !target.isEmpty() && !climbsUp(target) && writeWhole(target, reply->readAll(), &error);
    delete reply;
    if (!written) {
        qWarning().noquote().nospace() << "NetServerManager::fileFinished"
                                       << " failed to save filename:" << target;
        emit onDownloadFailure(reqId, status, error);
        return;
    }
    emit onDownloadSuccess(reqId, urlFilePath, target);
}
