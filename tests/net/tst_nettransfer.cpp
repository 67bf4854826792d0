// File transfer against the reference server: multipart uploads (a long text, a picture, a
// profile picture and a file of the largest accepted size) with their parts in order and steady
// progress, picture fetches into the cache, downloads to the cache or a chosen path, and the
// ways each of them fails.
#include "main/mtdata.h"
#include "net/filemanager.h"
#include "net/netmultipart.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "netfixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QWidget>
#include <QtTest>

#include <memory>

namespace {
enum Upload
{
    ChatFile,
    ChatImage,
    ProfileImage,
};

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Bytes sent (or received) never go back, and the last report is the whole.
QString progressProblem(const QList<NetRecorder::Event>& events)
{
    if (events.isEmpty())
        return QStringLiteral("no progress");
    qint64 last = -1;
    for (const NetRecorder::Event& e : events) {
        if (e.done < last)
            return QStringLiteral("went back from %1 to %2").arg(last).arg(e.done);
        if (e.total > 0 && e.done > e.total)
            return QStringLiteral("%1 of %2").arg(e.done).arg(e.total);
        last = e.done;
    }
    if (events.last().done != events.last().total)
        return QStringLiteral("ended at %1 of %2").arg(events.last().done).arg(events.last().total);
    return QString();
}
} // namespace

class TestNetTransfer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void boundaryRule_data();
    void boundaryRule();
    void uploads_data();
    void uploads();
    void uploadFailures_data();
    void uploadFailures();
    void downloads_data();
    void downloads();
    void pictures_data();
    void pictures();
    void sameCachedPictureTwiceAtOnce();
    void pictureFailures_data();
    void pictureFailures();
    void destroyedWhileATransferHangs();

private:
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
                   ? file.fileName()
                   : QString();
    }

    NetFixture m_fixture;
    QTemporaryDir m_dir;
    std::unique_ptr<MTData> m_session;
    std::unique_ptr<NetServerManager> m_net;
    std::unique_ptr<NetRecorder> m_recorder;
};

void TestNetTransfer::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
    QVERIFY2(m_fixture.start(), qPrintable(m_fixture.errorString()));
    m_session = std::make_unique<MTData>();
    QVERIFY(m_fixture.signIn(*m_session, QStringLiteral("user001")));
    m_net =
        std::make_unique<NetServerManager>(ServerConfig::fromFile(m_fixture.server().clientIni()));
    m_recorder = std::make_unique<NetRecorder>(m_net.get());
}

void TestNetTransfer::cleanup()
{
    m_fixture.server().setFault(QJsonObject{{"mode", "off"}});
    m_recorder->clear();
}

void TestNetTransfer::boundaryRule_data()
{
    QTest::addColumn<quint32>("r");
    QTest::addColumn<QByteArray>("boundary");
    // 10,000,000,000 + r * 90,000,000,000 / 32,768, in hexadecimal digits after "--".
    QTest::newRow("smallest") << quint32(0) << QByteArray("--2540be400");
    QTest::newRow("middle") << quint32(16384) << QByteArray("--cce416600");   // 55,000,000,000
    QTest::newRow("largest") << quint32(32767) << QByteArray("--17484cff29"); // 99,997,253,417
}

void TestNetTransfer::boundaryRule()
{
    QFETCH(quint32, r);
    QFETCH(QByteArray, boundary);
    QCOMPARE(NetMultipart::boundary(r), boundary);
    QCOMPARE(NetMultipart::contentType(boundary), "multipart/form-data; boundary=" + boundary);
}

void TestNetTransfer::uploads_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("size"); // bytes of the file; -1: a long text message
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("fields"); // "name=value&...", in order
    const QString file = QStringLiteral("userId=%me&contentType=10&thumbType=10&width=0&height=0");
    QTest::newRow("long text") << int(ChatFile) << qint64(-1) << "/rest/file/chat" << file;
    QTest::newRow("picture") << int(ChatImage) << qint64(0) << "/rest/file/chat"
                             << "userId=%me&contentType=20&thumbType=20&width=64&height=48";
    QTest::newRow("profile picture")
        << int(ProfileImage) << qint64(0) << "/rest/file"
        << "userId=%me&fileKey=pk-7&fileSeq=0&contentType=20&thumbType=40&width=64&height=48";
    QTest::newRow("largest file") << int(ChatFile) << qint64(FileManager::kFileSizeLimit)
                                  << "/rest/file/chat" << file;
}

void TestNetTransfer::uploads()
{
    QFETCH(int, kind);
    QFETCH(qint64, size);
    QFETCH(QString, path);
    QFETCH(QString, fields);

    QString file;
    if (size < 0) {
        file = FileManager::makeTextFile(QString(600, QChar(0xD55C)) + QStringLiteral(" + & = %"));
    } else if (size == 0) {
        file = m_dir.filePath(QStringLiteral("photo 1.png"));
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(file));
    } else {
        QFile out(file = m_dir.filePath(QStringLiteral("big.bin")));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.resize(size));
    }
    const QFileInfo info(file);
    QVERIFY(info.exists());
    const QString reqId = QStringLiteral("msg-%1").arg(QTest::currentDataTag());
    const qint64 since = m_fixture.server().lastRequestSeq();
    QVERIFY(kind == ChatFile    ? m_net->uploadChatFile(reqId, file)
            : kind == ChatImage ? m_net->uploadChatImage(reqId, file, QSize(64, 48))
                                : m_net->uploadProfileImage(reqId, file, "pk-7", QSize(64, 48)));
    const NetRecorder::Event answer = m_recorder->answer(reqId, 120000);
    QVERIFY2(answer.signal == QLatin1String("uploadSuccess"), qPrintable(answer.text));
    QCOMPARE(qint64(answer.object.value(QLatin1String("fileSize")).toDouble()), info.size());
    QCOMPARE(answer.object.value(QLatin1String("orgFileName")).toString(), info.fileName());
    QVERIFY(!answer.object.value(QLatin1String("webUrl")).toString().isEmpty());

    const QList<NetRecorder::Event> progress = m_recorder->of("uploadProgress", reqId);
    QVERIFY2(progressProblem(progress).isEmpty(), qPrintable(progressProblem(progress)));
    QVERIFY(progress.last().total > info.size());

    const QJsonObject received = m_fixture.lastRequest(path, since);
    QCOMPARE(received.value(QLatin1String("path")).toString(), path);
    // The fields in order with their values, then the file's name and the file.
    fields.replace(QStringLiteral("%me"), QString::number(m_session->userId()));
    fields += "&uploadFileName=" + info.fileName() + "&file=";
    QStringList sent;
    const QJsonObject form = received.value(QLatin1String("form")).toObject();
    for (const QJsonValue& part : received.value(QLatin1String("parts")).toArray())
        sent << part.toString() + QLatin1Char('=') + form.value(part.toString()).toString();
    QCOMPARE(sent.join('&'), fields);
    const QJsonObject filePart = received.value(QLatin1String("file")).toObject();
    QCOMPARE(filePart.value(QLatin1String("filename")).toString(), info.fileName());
    QCOMPARE(qint64(filePart.value(QLatin1String("size")).toDouble()), info.size());

    // The boundary of the rule: "--" and the hexadecimal digits of a number of its range.
    const QJsonObject headers = received.value(QLatin1String("headers")).toObject();
    const QString contentType = headers.value(QLatin1String("content-type")).toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^multipart/form-data; boundary=--[0-9a-f]{9,10}$"))
                 .match(contentType)
                 .hasMatch(),
             qPrintable(contentType));
    const qint64 seq = qint64(received.value(QLatin1String("seq")).toDouble());
    QCOMPARE(m_fixture.sentHeaders(seq), NetFixture::identifyingHeaders());
    QCOMPARE(headers.value(QLatin1String("access-key")).toString(), m_session->accessKey());
}

void TestNetTransfer::uploadFailures_data()
{
    QTest::addColumn<QString>("fault"); // "missing file", "no server", or the rule's
    QTest::addColumn<QJsonObject>("rule");
    QTest::addColumn<int>("errCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("file cannot be read")
        << "missing file" << QJsonObject() << 10001 << "reply is NULL";
    QTest::newRow("error body") << ""
                                << QJsonObject{{"status", 413},
                                               {"code", 41300},
                                               {"message", "Too large on purpose"}}
                                << 41300 << "Too large on purpose";
    QTest::newRow("empty error body")
        << "" << QJsonObject{{"status", 503}, {"body", "empty"}} << 503 << "http error code";
    QTest::newRow("no server") << "no server" << QJsonObject() << 0 << "http error code";
}

void TestNetTransfer::uploadFailures()
{
    QFETCH(QString, fault);
    QFETCH(QJsonObject, rule);
    QFETCH(int, errCode);
    QFETCH(QString, error);
    QString file = writeFile(QStringLiteral("small.txt"), "hello");
    if (fault == QLatin1String("missing file"))
        file = m_dir.filePath(QStringLiteral("missing.txt"));
    if (!rule.isEmpty()) {
        rule.insert(QStringLiteral("mode"), QStringLiteral("error"));
        rule.insert(QStringLiteral("path"), QStringLiteral("/rest/file/chat"));
        QVERIFY(m_fixture.server().setFault(rule));
    }
    const int port = fault == QLatin1String("no server") ? NetFixture::freePort()
                                                         : m_fixture.server().restPort();
    NetServerManager net(ServerConfig::fromFile(m_fixture.writeIni(port)));
    NetRecorder recorder(&net);
    QVERIFY(net.uploadChatFile(QStringLiteral("up"), file));
    const NetRecorder::Event answer = recorder.answer(QStringLiteral("up"));
    QCOMPARE(answer.signal, QStringLiteral("uploadFailure"));
    QCOMPARE(answer.errCode, errCode);
    QCOMPARE(answer.text, error);
}

void TestNetTransfer::downloads_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("target"); // "" for the cache; relative to a temporary folder
    QTest::addColumn<QString>("stored"); // where the file must end up ("" for nowhere)
    QTest::addColumn<int>("httpCode");   // of a failure; 0 for success
    QTest::addColumn<QString>("error");  // "*": any non-empty text

    const QString none;
    QTest::newRow("to the cache") << "/files/seeddoc1.txt" << none << "cache:seeddoc1.txt" << 0
                                  << none;
    QTest::newRow("to a chosen path in a new folder") << "/files/seeddoc2.txt"
                                                      << "chosen/sub/report.txt"
                                                      << "chosen/sub/report.txt" << 0 << none;
    QTest::newRow("not on the server") << "/files/nothing-here.txt" << none << none << 404 << "*";
    QTest::newRow("target under a file")
        << "/files/seeddoc3.txt"
        << "plain.txt/x/report.txt" << none << 200 << "Can't open file";
    QTest::newRow("chosen path that climbs out")
        << "/files/seeddoc3.txt"
        << "chosen/../../escaped.txt" << none << 200 << "Can't open file";
}

void TestNetTransfer::downloads()
{
    QFETCH(QString, url);
    QFETCH(QString, target);
    QFETCH(QString, stored);
    QFETCH(int, httpCode);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain.txt")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString saveFilePath = target.isEmpty() ? QString() : dir.filePath(target);
    QString expectedPath;
    if (stored.startsWith(QLatin1String("cache:")))
        expectedPath = FileManager::cacheFolder() + QLatin1Char('/') + stored.mid(6);
    else if (!stored.isEmpty())
        expectedPath = dir.filePath(stored);
    if (!expectedPath.isEmpty())
        QFile::remove(expectedPath);
    const QStringList cacheBefore = QDir(FileManager::cacheFolder()).entryList(QDir::Files);

    const QString reqId = QStringLiteral("dl-%1").arg(QTest::currentDataTag());
    QVERIFY(m_net->downloadFile(reqId, url, saveFilePath));
    const NetRecorder::Event answer = m_recorder->answer(reqId);
    if (httpCode != 0) {
        QCOMPARE(answer.signal, QStringLiteral("downloadFailure"));
        QCOMPARE(answer.errCode, httpCode);
        if (error == QLatin1String("*"))
            QVERIFY(!answer.text.isEmpty());
        else
            QCOMPARE(answer.text, error);
        // Nothing was left behind, in the cache or near the target.
        QCOMPARE(QDir(FileManager::cacheFolder()).entryList(QDir::Files), cacheBefore);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("escaped.txt"))));
        QVERIFY(!QFileInfo::exists(QFileInfo(dir.path()).dir().filePath("escaped.txt")));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("plain.txt"))).size(), qint64(0));
        return;
    }
    QCOMPARE(answer.signal, QStringLiteral("downloadSuccess"));
    QCOMPARE(answer.text, expectedPath);
    QCOMPARE(answer.object.value(QLatin1String("url")).toString(), url);
    const QString original =
        m_fixture.server().dataDir() + QStringLiteral("/files/") + url.section('/', -1);
    QCOMPARE(contents(expectedPath), contents(original));
    const QList<NetRecorder::Event> progress = m_recorder->of("downloadProgress", reqId);
    QVERIFY2(progressProblem(progress).isEmpty(), qPrintable(progressProblem(progress)));
    QCOMPARE(progress.last().done, QFileInfo(original).size());
}

void TestNetTransfer::pictures_data()
{
    QTest::addColumn<QString>("url"); // %1: a user of the directory
    QTest::newRow("server path") << QStringLiteral("/pictures/u%1_1_t.png");
    QTest::newRow("server path with a query") << QStringLiteral("/pictures/u%1_1_t.png?v=2");
}

void TestNetTransfer::pictures()
{
    QFETCH(QString, url);
    url = url.arg(m_session->userId() + 3);
    QFile::remove(FileManager::cacheFilePath(url));
    QWidget widget;
    QCOMPARE(m_net->requestImage(url, &widget), QString());
    const NetRecorder::Event answer = m_recorder->answer(url);
    QCOMPARE(answer.signal, QStringLiteral("imageSuccess"));
    QCOMPARE(answer.widget, &widget);
    QCOMPARE(answer.text, FileManager::cacheFilePath(url));
    QVERIFY(!QImage(answer.text).isNull());

    // Cached: the path at once, and nothing follows.
    m_recorder->clear();
    QCOMPARE(m_net->requestImage(url, &widget), answer.text);
    QTest::qWait(300);
    QVERIFY(m_recorder->events().isEmpty());
}

void TestNetTransfer::sameCachedPictureTwiceAtOnce()
{
    const QString url = QStringLiteral("/pictures/u%1_1.png").arg(m_session->userId() + 4);
    const QString path = FileManager::cacheFilePath(url);
    QFile::remove(path);
    for (int round = 0; round < 3; ++round) {
        m_recorder->clear();
        QFile::remove(path);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m_net->requestImage(url, nullptr), QString());
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->of(QStringLiteral("imageSuccess")).size(), 4, 30000);
        QVERIFY(m_recorder->of(QStringLiteral("imageFailure")).isEmpty());
        const QImage image(path);
        QCOMPARE(image.size(), QSize(256, 256));
        // Only finished files in the cache: no temporary one left behind.
        for (const QString& name : QDir(FileManager::cacheFolder()).entryList(QDir::Files))
            QVERIFY2(!name.startsWith(QFileInfo(path).fileName() + QLatin1Char('.')),
                     qPrintable(name));
    }
}

void TestNetTransfer::pictureFailures_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("not on the server") << QStringLiteral("/pictures/u999999_1_t.png");
    QTest::newRow("empty") << QString();
    QTest::newRow("dots") << QStringLiteral("/pictures/..");
}

void TestNetTransfer::pictureFailures()
{
    QFETCH(QString, url);
    const QStringList cacheBefore = QDir(FileManager::cacheFolder()).entryList(QDir::Files);
    QCOMPARE(m_net->requestImage(url, nullptr), QString());
    QCOMPARE(m_recorder->answer(url).signal, QStringLiteral("imageFailure"));
    QCOMPARE(QDir(FileManager::cacheFolder()).entryList(QDir::Files), cacheBefore);
}

void TestNetTransfer::destroyedWhileATransferHangs()
{
    QVERIFY(
        m_fixture.server().setFault(QJsonObject{{"mode", "hang"}, {"path", "/rest/file/chat"}}));
    const QString file = writeFile(QStringLiteral("hang.txt"), "waiting");
    auto net =
        std::make_unique<NetServerManager>(ServerConfig::fromFile(m_fixture.server().clientIni()));
    NetRecorder recorder(net.get());
    const qint64 since = m_fixture.server().lastRequestSeq();
    QVERIFY(net->uploadChatFile(QStringLiteral("hang"), file));
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture.server().requests("/rest/file/chat", since).size(), 1,
                              20000);
    // Returns although the server never answers: the upload is aborted, and its caller hears
    // that it failed.
    net.reset();
    QCOMPARE(recorder.answer(QStringLiteral("hang")).signal, QStringLiteral("uploadFailure"));
}

QTEST_MAIN(TestNetTransfer)
#include "tst_nettransfer.moc"
