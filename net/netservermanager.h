#pragma once

#include "net/netfailure.h"
#include "net/netinflight.h"
#include "net/netkeptmanagers.h"
#include "net/netmultipart.h"
#include "net/netpicturequeue.h"

#include "store/dbchatroom.h"

#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QNetworkReply>
#include <QSet>
#include <QSize>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>

#include <atomic>
#include <functional>
#include <memory>

class DBMTData;
class NetSessionHeaders;
class NetLatch;
class QNetworkAccessManager;
class QThreadPool;
class QWidget;
class ServerConfig;

// The one object through which the client talks HTTPS to the chat server. Requests of the
// catalogue are sent asynchronously from the GUI thread; the directory cache and room list,
// which are stored before they are signalled, and every transfer run as tasks on the object's
// own thread pool, in a local event loop, with the network access object their thread keeps for
// the object's life (one session), so that requests reuse their connections. Every answer
// becomes a signal carrying the caller's request code (or request id for transfers); signals
// emitted by a task reach receivers on the GUI thread queued.
//
// Derives from QThread as the rest of the program expects; the thread itself is never started.
// Sources by concern: the engine here, the request catalogue (netservermanager_requests.cpp),
// the worker requests that store their answer (netservermanager_worker.cpp) and file transfer
// (netservermanager_transfer.cpp).
class NetServerManager : public QThread
{
    Q_OBJECT
    struct RoomListAhead;
    struct RoomPictureNeeds;
    struct LaterRooms;

public:
    // The error code of a request that got no usable answer: no reply, an error without a body,
    // or no byte for the idle time-out.
    static constexpr int kErrorNetwork = 10001;
    // The error code of a 200 answer whose body is not a JSON object (empty, cut short, HTML, an
    // array, null). The server's own codes are five digits from 40000 up, so no answer of it
    // can carry this one.
    static constexpr int kErrorUnreadable = 10002;
    // The worker threads the engine keeps at least, each with its own connection once used.
    static constexpr int kMinimumWorkers = 8;

    // The host of the configuration on the default HTTPS port, with the platform's CAs only.
    explicit NetServerManager(const QString& host, QObject* parent = nullptr);
    // Host, REST port and the extra CA file of the configuration.
    explicit NetServerManager(const ServerConfig& config, QObject* parent = nullptr);
    // Ends the transfers still running (their requests are aborted) before the object goes.
    ~NetServerManager() override;

    void setDbPath(const QString& path);
    // A request that sends and receives nothing for this long fails as kErrorNetwork; for the
    // requests made after the call. 30 s unless set.
    void setIdleTimeout(int ms) { m_idleTimeoutMs = ms; }
    int idleTimeout() const { return m_idleTimeoutMs; }
    QString dbPath() const { return m_dbPath; }
    // The server's address with the given path (a query after "?" is kept as the query).
    QUrl makeUrl(const QString& path) const;
    // On the GUI thread: sends and returns the reply at once (property "reqCode" set). On any
    // other thread: waits in a local event loop, emits the failure of an error answer or of a
    // time-out itself (the reply is then returned with its error set) and returns null for a
    // network error without a body. Null for an unknown method. A 200 is not read here.
    QNetworkReply* httpRequest(QNetworkAccessManager* manager, const QUrl& url, int reqCode,
                               const QString& method, const QUrlQuery& query);
    // Posts a multipart upload and waits for it in a local event loop (a worker's call); the
    // reply carries "reqId". Null when the file cannot be read.
    QNetworkReply* httpPostMultipart(QNetworkAccessManager* manager, const QUrl& url,
                                     const QString& reqId, const QString& filePath,
                                     const NetFields& form);
    void stop();
    // Opens, ahead of the requests that will need them, a connection on each of `workers` pool
    // threads (a login's own request, its directory, room list and first pictures): each
    // handshake is then done while the user still types. Nothing is sent; a server that is not
    // there is found out by the request that follows, as without this.
    void connectAhead(int workers);

    // The room number of a topic "chat/<n>", -1 for any other text.
    static qint64 roomIdFromTopic(const QString& topic);
    // Makes the empty files that the pictures of a login's first rows are written through, so
    // that none is made while the window waits for them. Makes files: not on the GUI thread.
    static void prepareSparePictureFiles();
    // The telephone text sent with a profile update.
    void setProfileTel(const QString& tel) { m_profileTel = tel; }

    // The request catalogue, called on the GUI thread. Each returns true when the request went
    // out or was queued (worker requests); a request that could not be made has already emitted
    // its failure.
    bool reqLogin(int reqCode, const QString& loginAccnt, const QString& passwd, int forceYn);
    bool reqPing(int reqCode);
    bool reqLogout(int reqCode);
    bool reqUpdateMyProfile(int reqCode, const QString& userName, bool chattingAllow,
                            const QString& fileKey);
    bool reqChangePassword(int reqCode, const QString& oldPassword, const QString& newPassword,
                           const QString& confirmPassword);
    bool reqLeaveChatRoom(int reqCode, qint64 roomId, int roomType);
    bool reqFileAuth(int reqCode);
    bool reqChatLoad(int reqCode, qint64 roomId, qint64 lastMessageTimestamp);
    bool reqGroupInfo(int reqCode, qint64 groupId);
    bool reqChatRoom(int reqCode, const QString& topic);
    // A room of type 40 is changed to 20 in `room` before it is sent.
    bool reqNewChatRoom(int reqCode, DBChatRoom& room);
    bool reqInviteMember(int reqCode, qint64 roomId, const QStringList& members);
    // With a `roomListCode`, the room list is asked for as soon as the directory has come, while
    // the directory is stored, and once the directory is stored the same task reads and stores
    // that list as reqChatRoomList(roomListCode) would, with the same signals; after a failed
    // directory it is dropped. It does not wait for the caller to hear of the directory: a
    // login's GUI thread, still busy with the login's answer, held the list back that long.
    bool reqDataCache(int reqCode, int roomListCode = 0);
    // The store at dbPath() is still being made: the next reqDataCache() goes out at once and its
    // task stores the answer once storeMade() has said the store is usable, or drops it without
    // a signal when it is not (whoever made the store has reported that failure already).
    void holdStore();
    void storeMade(bool usable);
    // A stored room list's answer asks for the pictures of its first rooms' rows at once. Those
    // of the other rooms wait for prefetchRoomPictures(), which a window calls once the rows in
    // view have theirs: until then they would compete with them for the server and the CPU.
    bool reqChatRoomList(int reqCode);
    // Looks up and asks for the pictures the last stored room list's other rooms show, once per
    // room list (later calls do nothing). Any thread.
    void prefetchRoomPictures();
    // Whether a picture the last stored room list asked for at once is still being fetched.
    bool firstPicturesPending();
    // How many rooms the window's list shows at once: the first rooms whose pictures are asked
    // for at once. Any thread; until a window has said, a list's first ten.
    void setRoomsShownAtOnce(int rooms);
    int roomsShownAtOnce() const { return m_roomsShownAtOnce.load(); }

    // File transfer.
    bool uploadProfileImage(const QString& reqId, const QString& filePath, const QString& fileKey,
                            const QSize& size);
    bool uploadChatImage(const QString& reqId, const QString& filePath, const QSize& size);
    bool uploadChatFile(const QString& reqId, const QString& filePath);
    // The cached copy at once (no signal follows), or empty text and a fetch is queued: one
    // fetch per URL however many ask for it, each request answered once (NetPictureQueue). `widget`
    // null is a prefetch, which waits behind the pictures a widget shows.
    QString requestImage(const QString& urlFilePath, QWidget* widget);
    // An empty saveFilePath means the cache folder, under the server file's name.
    bool downloadFile(const QString& reqId, const QString& urlFilePath,
                      const QString& saveFilePath);

signals:
    void onHttpSuccess(int reqCode, QJsonObject response);
    void onHttpFailure(int reqCode, int errCode, QString error);
    // The room list a store without rooms will read back once the answer of a room-list request
    // is in, known before its rows are written; that request's success or failure follows.
    void roomListShown(int reqCode, QList<DBChatRoom> rooms);
    // The last of the pictures a stored room list asked for at once has come or failed.
    void firstPicturesEnded();
    void onUploadSuccess(QString reqId, QJsonObject response);
    void onUploadProgress(QString reqId, qint64 bytesSent, qint64 bytesTotal);
    void onUploadFailure(QString reqId, int errCode, QString error);
    void onImageSuccess(QString urlFilePath, QString filePath, QWidget* widget);
    void onImageFailure(QString urlFilePath, QWidget* widget);
    void onDownloadSuccess(QString reqId, QString urlFilePath, QString saveFilePath);
    void onDownloadProgress(QString reqId, qint64 bytesReceived, qint64 bytesTotal);
    void onDownloadFailure(QString reqId, int httpCode, QString httpError);

private slots:
    void onNetworkReplyFinished();
    void onNetworkReplyError(QNetworkReply::NetworkError error);
    // For replies living on this object's thread; a worker's reply forwards its progress
    // directly, as the sender is not known across threads.
    void onUploadProgress(qint64 bytesSent, qint64 bytesTotal);
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);

private:
    // A connectAhead() task: this thread's connection, made while the thread waits for it.
    void connectThreadAhead();
    // Every connection `manager` opens to the server goes without Nagle's delay.
    void lowDelayOnConnect(QNetworkAccessManager* manager);
    QNetworkReply* sendRequest(QNetworkAccessManager* manager, const QUrl& url, int reqCode,
                               const QString& method, const QUrlQuery& query,
                               const NetSessionHeaders& headers);
    // sendRequest() without the wait: the reply, still running, or null when none was made.
    QNetworkReply* startRequest(QNetworkAccessManager* manager, const QUrl& url, int reqCode,
                                const QString& method, const QUrlQuery& query,
                                const NetSessionHeaders& headers);
    QNetworkReply* waitForReply(QNetworkReply* reply, int reqCode);
    QNetworkReply* postMultipart(QNetworkAccessManager* manager, const QUrl& url,
                                 const QString& reqId, const QString& filePath,
                                 const NetFields& form, const NetSessionHeaders& headers);
    // Sends a request of the catalogue from the GUI thread and connects its answer.
    bool sendAsync(int reqCode, const QString& path, const QString& method,
                   const QUrlQuery& query = QUrlQuery());
    void emitErrorBody(int reqCode, const QByteArray& body, const char* where);
    // A request's failure: signalled, or kept by the NetCapturedFailure of the calling thread.
    void fail(int reqCode, int errCode, const QString& text);
    QNetworkRequest newRequest(const QUrl& url) const;
    // Runs a task on the pool; false once the object is being destroyed.
    bool startTask(std::function<void()> task);
    // Waits in a local event loop until the reply ends or goes silent for the idle time-out;
    // registered so that destruction can end it. False when the engine is going away (the reply
    // is then aborted).
    bool waitInLoop(QNetworkReply* reply);
    QUrl transferUrl(const QString& urlFilePath) const;
    // The texts of the engine's own failures.
    static QString timedOutText();
    static QString unreadableText();
    // The signed-in user's id as the requests carry it; "0" without a session.
    static QString ownIdText();

    // Worker tasks.
    // `account` is a copy of the session that asked, taken when the request was queued.
    void runDataCache(int reqCode, const QUrl& url, const QString& dbPath,
                      const NetSessionHeaders& headers, const DBMTData& account, bool hasSession,
                      int roomListCode, const std::shared_ptr<NetLatch>& gate);
    // Fetches and stores the directory into `stored`'s store; true with the answer's own values
    // in `stamp`, false when a failure was signalled.
    bool storeDataCache(int reqCode, const QUrl& url, const QString& dbPath,
                        const NetSessionHeaders& headers, bool hasSession, bool roomListAhead,
                        const std::shared_ptr<NetLatch>& gate, DBMTData* stored,
                        QJsonObject* stamp);
    void runChatRoomList(int reqCode, const QUrl& url, const QString& dbPath,
                         const NetSessionHeaders& headers);
    // Any thread: fetches the room list for the next reqChatRoomList().
    void startRoomListAhead(const NetSessionHeaders& headers);
    // The room list fetched ahead for `url`, taken; null when there is none.
    std::shared_ptr<RoomListAhead> takeRoomListAhead(const QUrl& url);
    // Sends a worker request (a GET unless said) and returns the answer's object when it is a
    // 200 without error whose body is a JSON object; failures are signalled on the way.
    // `whenAnswering` runs once the answer has begun (its headers are in), before its body is
    // waited for; not at all for a request that got no answer.
    // `trim`, when given, makes the body shorter before it is read; an empty result has the
    // whole body read.
    bool fetchObject(int reqCode, const QUrl& url, const NetSessionHeaders& headers,
                     QJsonObject* object, const QString& method = QStringLiteral("GET"),
                     const QUrlQuery& form = QUrlQuery(),
                     const std::function<void()>& whenAnswering = nullptr,
                     QByteArray (*trim)(const QByteArray&) = nullptr);
    // The room list at `url`, read without the user records it repeats (NetRoomListTrim).
    bool fetchRoomList(int reqCode, const QUrl& url, const NetSessionHeaders& headers,
                       QJsonObject* list);
    bool upload(const QString& reqId, const QString& path, const QString& filePath,
                const NetFields& form);
    void runUpload(const QString& reqId, const QUrl& url, const QString& filePath,
                   const NetFields& form, const NetSessionHeaders& headers);
    // Starts a task for each queued picture fetch there is room for; each task goes on with the
    // next picture that waits once its own has come.
    void startPictureFetches();
    void runPictureFetches(QString urlFilePath);
    // A picture's fetch has ended: the last of the room list's first ones is signalled.
    void firstPictureEnded(const QString& urlFilePath);
    // Into the cache; the file written, or empty text when the fetch or the write failed.
    QString fetchPicture(const QString& urlFilePath);
    void runDownload(const QString& reqId, const QString& urlFilePath, const QString& saveFilePath);

    QString m_scheme;
    int m_port = 443;
    QString m_host;
    QNetworkAccessManager* m_networkManager = nullptr;
    QString m_dbPath;
    QThreadPool* m_threadPool = nullptr;
    // Those of the pool's threads; the GUI thread's is m_networkManager.
    NetKeptManagers m_keptManagers;
    QSslConfiguration m_sslConfiguration;
    QString m_profileTel;
    NetInflight m_inflight;
    NetPictureQueue m_pictures;
    QMutex m_aheadMutex;
    std::shared_ptr<RoomListAhead> m_roomListAhead;
    // The rooms whose pictures wait for prefetchRoomPictures(); under m_aheadMutex.
    std::shared_ptr<const LaterRooms> m_laterPictures;
    // The first rooms' pictures not yet fetched; under m_aheadMutex.
    QSet<QString> m_firstPictures;
    // Set by holdStore() until storeMade(); GUI thread.
    std::shared_ptr<NetLatch> m_storeGate;
    std::atomic_int m_idleTimeoutMs{30000};
    std::atomic_int m_roomsShownAtOnce{10};
};
