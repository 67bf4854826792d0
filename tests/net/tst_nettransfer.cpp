// File transfer against the reference server: multipart uploads (a long text, a picture, a
// profile picture and a file of the largest accepted size) with their parts in order and steady
// progress, picture fetches into the cache, downloads to the cache or a chosen path, the ways
// fetches and downloads fail, and transfers that go silent, which fail after the idle time while
// a slow one that keeps moving does not.
#include "net/filemanager.h"
#include "netfixture.h"

namespace {
// Bytes sent (or received) never go back, and the last report is the whole.
bool steady(const QList<NetRecorder::Event>& p)
{
    auto byDone = [](const auto& a, const auto& b) { return a.done() < b.done(); };
    return !p.isEmpty() && std::is_sorted(p.begin(), p.end(), byDone) &&
           p.last().done() == p.last().total();
}

QStringList cacheFiles()
{
    return QDir(FileManager::cacheFolder()).entryList(QDir::Files, QDir::Name);
}

// An upload as the server received it: the path, the parts in order ("name=value", the file
// part without a value), and the file part's name and size.
struct ReceivedUpload
{
    QString path;
    QStringList fields;
    QString fileName;
    qint64 fileSize = 0;
    bool operator==(const ReceivedUpload& o) const
    {
        return path == o.path && fields == o.fields && fileName == o.fileName &&
               fileSize == o.fileSize;
    }
};

// The picture the rows upload, 64 by 48.
QString picture()
{
    const QString file = FileManager::cacheFilePath(QStringLiteral("photo 1.png"));
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image.save(file) ? file : QString();
}

QString fileOfSize(qint64 size)
{
    QFile big(FileManager::cacheFilePath(QStringLiteral("big.bin")));
    return big.open(QIODevice::WriteOnly) && big.resize(size) ? big.fileName() : QString();
}
} // namespace

namespace QTest {
template <>
char* toString(const ReceivedUpload& u)
{
    return qstrdup(QStringLiteral("{path=%1 fields=[%2] fileName=%3 fileSize=%4}")
                       .arg(u.path, u.fields.join(QStringLiteral(", ")), u.fileName)
                       .arg(u.fileSize)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

using MakeFile = std::function<QString()>;
using Upload = std::function<bool(NetServerManager&, const QString& reqId, const QString& file)>;
using Transfer = std::function<bool(NetServerManager&)>;
Q_DECLARE_METATYPE(MakeFile)
Q_DECLARE_METATYPE(Upload)
Q_DECLARE_METATYPE(Transfer)

class TestNetTransfer : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void uploads_data();
    void uploads();
    void boundary();
    void downloads_data();
    void downloads();
    void refusedDownloads_data();
    void refusedDownloads();
    void pictures_data();
    void pictures();
    void missingPictures_data();
    void missingPictures();
    void silentTransfers_data();
    void silentTransfers();
    void destroyedWhileATransferHangs();
};

void TestNetTransfer::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
    QVERIFY(start());
    QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
}

void TestNetTransfer::cleanup()
{
    m_server.setFault(QJsonObject{{"mode", "off"}});
    m_server.control("POST", QStringLiteral("/control/version"),
                     QJsonObject{{"minVersion", QJsonValue::Null}});
}

void TestNetTransfer::uploads_data()
{
    QTest::addColumn<MakeFile>("makeFile");
    QTest::addColumn<Upload>("upload");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("fields"); // "name=value" in order; %me: the user's id

    const QStringList file = {"userId=%me", "contentType=10", "thumbType=10", "width=0",
                              "height=0"};
    const Upload chatFile = [](NetServerManager& n, const QString& id, const QString& f) {
        return n.uploadChatFile(id, f);
    };
    QTest::newRow("long text") << MakeFile([] {
        return FileManager::makeTextFile(QString(600, QChar(0xD55C)) + QStringLiteral(" + & = %"));
    }) << chatFile << "/rest/file/chat"
                               << file;
    QTest::newRow("picture") << MakeFile(picture)
                             << Upload(
                                    [](NetServerManager& n, const QString& id, const QString& f) {
                                        return n.uploadChatImage(id, f, QSize(64, 48));
                                    })
                             << "/rest/file/chat"
                             << QStringList{"userId=%me", "contentType=20", "thumbType=20",
                                            "width=64", "height=48"};
    QTest::newRow("profile picture")
        << MakeFile(picture)
        << Upload([](NetServerManager& n, const QString& id, const QString& f) {
               return n.uploadProfileImage(id, f, "pk-7", {64, 48});
           })
        << "/rest/file"
        << QStringList{"userId=%me",   "fileKey=pk-7", "fileSeq=0", "contentType=20",
                       "thumbType=40", "width=64",     "height=48"};
    QTest::newRow("largest file") << MakeFile(
                                         [] { return fileOfSize(FileManager::kFileSizeLimit); })
                                  << chatFile << "/rest/file/chat" << file;
}

void TestNetTransfer::uploads()
{
    QFETCH(MakeFile, makeFile);
    QFETCH(Upload, upload);
    QFETCH(QString, path);
    QFETCH(QStringList, fields);

    const QFileInfo info(makeFile());
    QVERIFY(info.exists());
    const QString reqId = QStringLiteral("msg-%1").arg(QTest::currentDataTag());
    const qint64 since = m_server.lastRequestSeq();
    QVERIFY(upload(*m_net, reqId, info.filePath()));
    const NetRecorder::Event answer = m_recorder->answer(reqId, 120000);
    QVERIFY2(answer.signal == QLatin1String("uploadSuccess"), qPrintable(answer.text()));
    const QList<NetRecorder::Event> progress = m_recorder->of("uploadProgress", reqId);
    QVERIFY(steady(progress) && progress.last().total() > info.size());

    // The path, the fields in order with their values, then the file's name and the file.
    const QJsonValue received = m_server.requests(path, since).last();
    ReceivedUpload sent{received["path"].toString(),
                        {},
                        received["file"]["filename"].toString(),
                        qint64(received["file"]["size"].toDouble())};
    for (const QJsonValue& part : received["parts"].toArray())
        sent.fields << part.toString() + '=' + received["form"][part.toString()].toString();
    fields.replaceInStrings(QStringLiteral("%me"), QString::number(m_session->userId()));
    fields << "uploadFileName=" + info.fileName() << "file=";
    QCOMPARE(sent, (ReceivedUpload{path, fields, info.fileName(), info.size()}));

    const QString contentType = received["headers"]["content-type"].toString();
    QVERIFY2(contentType.contains(
                 QRegularExpression("^multipart/form-data; boundary=--[0-9a-f]{9,10}$")),
             qPrintable(contentType));
    QCOMPARE(sentHeaders(received["seq"].toInt()), identifyingHeaders(*m_session, contentType));
}

// The boundary of the rule: 10,000,000,000 + r * 90,000,000,000 / 32,768 in hexadecimal digits
// after "--", shown for the smallest, middle and largest r.
void TestNetTransfer::boundary()
{
    QCOMPARE(QList<QByteArray>({NetMultipart::boundary(0), NetMultipart::boundary(16384),
                                NetMultipart::boundary(32767)}),
             QList<QByteArray>({"--2540be400", "--cce416600", "--17484cff29"}));
}

void TestNetTransfer::downloads_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("target"); // "" for the cache; relative to a temporary folder

    QTest::newRow("to the cache") << "/files/seeddoc1.txt" << QString();
    QTest::newRow("to a chosen path in a new folder") << "/files/seeddoc2.txt"
                                                      << "chosen/sub/report.txt";
}

void TestNetTransfer::downloads()
{
    QFETCH(QString, url);
    QFETCH(QString, target);

    QTemporaryDir dir;
    const QString chosen = target.isEmpty() ? QString() : dir.filePath(target);
    const QString expectedPath = target.isEmpty() ? FileManager::cacheFilePath(url) : chosen;
    QFile::remove(expectedPath);

    const QString reqId = QStringLiteral("dl-%1").arg(QTest::currentDataTag());
    QVERIFY(m_net->downloadFile(reqId, url, chosen));
    const NetRecorder::Event answer = m_recorder->answer(reqId);
    QCOMPARE(QVariantList{answer.signal} + answer.args,
             QVariantList({"downloadSuccess", reqId, url, expectedPath}));
    const QString original = m_server.dataDir() + url;
    QFile got(expectedPath), sent(original);
    QVERIFY(got.open(QIODevice::ReadOnly) && sent.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), sent.readAll());
    const QList<NetRecorder::Event> progress = m_recorder->of("downloadProgress", reqId);
    QVERIFY(steady(progress) && progress.last().done() == QFileInfo(original).size());
}

void TestNetTransfer::refusedDownloads_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("target"); // "" for the cache; relative to a temporary folder
    QTest::addColumn<int>("httpCode");
    QTest::addColumn<QString>("error");

    QTest::newRow("not on the server")
        << "/files/nothing-here.txt" << QString() << 404 << "Error transferring ";
    QTest::newRow("target under a file") << "/files/seeddoc3.txt"
                                         << "plain.txt/x/report.txt" << 200 << "Can't open file";
    QTest::newRow("chosen path that climbs out")
        << "/files/seeddoc3.txt"
        << "chosen/../../escaped.txt" << 200 << "Can't open file";
}

void TestNetTransfer::refusedDownloads()
{
    QFETCH(QString, url);
    QFETCH(QString, target);
    QFETCH(int, httpCode);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QVERIFY(QFile(dir.filePath(QStringLiteral("plain.txt"))).open(QIODevice::WriteOnly));
    const QString chosen = target.isEmpty() ? QString() : dir.filePath(target);
    QFile::remove(FileManager::cacheFilePath(url));
    const QStringList cacheBefore = cacheFiles();

    const QString reqId = QStringLiteral("dl-%1").arg(QTest::currentDataTag());
    QVERIFY(m_net->downloadFile(reqId, url, chosen));
    const NetRecorder::Event answer = m_recorder->answer(reqId);
    QCOMPARE(QVariantList({answer.signal, answer.errCode()}),
             QVariantList({"downloadFailure", httpCode}));
    QVERIFY2(answer.text().startsWith(error) && !answer.text().isEmpty(),
             qPrintable(answer.text()));
    // Nothing was left behind, in the cache or near the target.
    QCOMPARE(cacheFiles(), cacheBefore);
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList("plain.txt"));
    QVERIFY(!QFileInfo::exists(QFileInfo(dir.path()).dir().filePath("escaped.txt")));
    QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("plain.txt"))).size(), qint64(0));
}

void TestNetTransfer::pictures_data()
{
    QTest::addColumn<QString>("url"); // %1: a user of the directory
    QTest::newRow("server path") << QStringLiteral("/pictures/u%1_1.png");
    QTest::newRow("server path with a query") << QStringLiteral("/pictures/u%1_1_t.png?v=2");
}

void TestNetTransfer::pictures()
{
    QFETCH(QString, url);
    url = url.arg(m_session->userId() + 3);
    const QString path = FileManager::cacheFilePath(url);
    QFile::remove(path);
    QStringList cache = cacheFiles();
    m_recorder->clear();
    // Four fetches of one picture at once: each hears of the whole file, with its widget.
    QWidget widget;
    for (int i = 0; i < 4; ++i)
        QCOMPARE(m_net->requestImage(url, &widget), QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->events().size(), 4, 30000);
    const QVariantList heard{"imageSuccess", url, path, QVariant::fromValue(&widget)};
    for (const NetRecorder::Event& e : m_recorder->events())
        QCOMPARE(QVariantList{e.signal} + e.args, heard);
    // The cache gains the whole picture, and no temporary file is left behind.
    cache << QFileInfo(path).fileName();
    cache.sort();
    QCOMPARE(cacheFiles(), cache);
    QVERIFY(!QImage(path).isNull());

    // Cached: the path at once, and nothing follows; a fetch of a missing picture, asked for
    // afterwards, is the last thing heard.
    m_recorder->clear();
    QCOMPARE(m_net->requestImage(url, &widget), path);
    const QString sentinel = QStringLiteral("/pictures/u999999_sentinel.png");
    QCOMPARE(m_net->requestImage(sentinel, nullptr), QString());
    QCOMPARE(m_recorder->answer(sentinel).signal, QStringLiteral("imageFailure"));
    QCOMPARE(m_recorder->outcomes(), (QList<NetOutcome>{{"imageFailure", sentinel}}));
}

void TestNetTransfer::missingPictures_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("not on the server") << QStringLiteral("/pictures/u999999_1_t.png");
    QTest::newRow("empty") << QString();
    QTest::newRow("dots") << QStringLiteral("/pictures/..");
}

void TestNetTransfer::missingPictures()
{
    QFETCH(QString, url);
    const QStringList cache = cacheFiles();
    m_recorder->clear();
    QWidget widget;
    for (int i = 0; i < 4; ++i)
        QCOMPARE(m_net->requestImage(url, &widget), QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->events().size(), 4, 30000);
    const QVariantList heard{"imageFailure", url, QVariant::fromValue(&widget)};
    for (const NetRecorder::Event& e : m_recorder->events())
        QCOMPARE(QVariantList{e.signal} + e.args, heard);
    QCOMPARE(cacheFiles(), cache);
}

void TestNetTransfer::silentTransfers_data()
{
    QTest::addColumn<QJsonObject>("rule");
    QTest::addColumn<QJsonObject>("version"); // the update package's size and pace
    QTest::addColumn<Transfer>("transfer");
    QTest::addColumn<NetOutcome>("expected");
    QTest::addColumn<QString>("written"); // the file the transfer leaves; "" for none

    const QString doc = QStringLiteral("/files/seeddoc1.txt");
    const QString pictureUrl =
        QStringLiteral("/pictures/u%1_1.png").arg(QString::number(m_session->userId() + 4));
    const QJsonObject fast{{"minVersion", QJsonValue::Null}};
    const Transfer download = [doc](NetServerManager& n) {
        return n.downloadFile(QStringLiteral("silent"), doc, QString());
    };
    const Transfer fetchPicture = [pictureUrl](NetServerManager& n) {
        return n.requestImage(pictureUrl, nullptr).isEmpty();
    };
    const NetOutcome timedOut{"downloadFailure", "silent", 10001, kTimedOutText};

    QTest::newRow("download without an answer")
        << QJsonObject{{"mode", "hang"}, {"path", doc}} << fast << download << timedOut << "";
    QTest::newRow("download that stops after its first bytes")
        << QJsonObject{{"mode", "stall"}, {"bytes", 10}, {"path", doc}} << fast << download
        << timedOut << "";
    QTest::newRow("picture that stops after its first bytes")
        << QJsonObject{{"mode", "stall"}, {"bytes", 10}, {"path", "/pictures/"}} << fast
        << fetchPicture << NetOutcome{"imageFailure", pictureUrl} << "";
    QTest::newRow("upload without an answer")
        << QJsonObject{{"mode", "hang"}, {"path", "/rest/file/chat"}} << fast
        << Transfer([](NetServerManager& n) {
               return n.uploadChatFile(QStringLiteral("silent"), fileOfSize(4 << 20));
           })
        << NetOutcome{"uploadFailure", "silent", 10001, kTimedOutText} << "big.bin";
    // Longer than the idle time in all, but never silent that long.
    QTest::newRow("slow download that keeps moving")
        << QJsonObject{{"mode", "off"}} << QJsonObject{{"size", 40000}, {"bytesPerSecond", 16000}}
        << Transfer([](NetServerManager& n) {
               return n.downloadFile(QStringLiteral("silent"), "/download/slow.bin", QString());
           })
        << NetOutcome{"downloadSuccess", "silent"} << "slow.bin";
}

void TestNetTransfer::silentTransfers()
{
    QFETCH(QJsonObject, rule);
    QFETCH(QJsonObject, version);
    QFETCH(Transfer, transfer);
    QFETCH(NetOutcome, expected);
    QFETCH(QString, written);

    for (const char* name : {"seeddoc1.txt", "slow.bin"})
        QFile::remove(FileManager::cacheFilePath(name));
    QFile::remove(FileManager::cacheFilePath(expected.id));
    const QStringList cacheBefore = cacheFiles();
    QVERIFY(m_server.setFault(rule));
    m_server.control("POST", QStringLiteral("/control/version"), version);

    auto net = std::make_unique<NetServerManager>(ServerConfig::fromFile(m_server.clientIni()));
    net->setIdleTimeout(1000);
    NetRecorder recorder(net.get());
    QVERIFY(transfer(*net));
    QCOMPARE(recorder.answer(expected.id).signal, expected.signal);
    finish(net);
    QCOMPARE(recorder.outcomes(), QList<NetOutcome>{expected});
    QStringList cache = cacheBefore + QStringList{written};
    cache.removeAll(QString());
    cache.removeDuplicates();
    cache.sort();
    QCOMPARE(cacheFiles(), cache);
}

void TestNetTransfer::destroyedWhileATransferHangs()
{
    QVERIFY(m_server.setFault(QJsonObject{{"mode", "hang"}, {"path", "/rest/file/chat"}}));
    const qint64 since = m_server.lastRequestSeq();
    QVERIFY(m_net->uploadChatFile(QStringLiteral("hang"), FileManager::makeTextFile("waiting")));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.requests("/rest/file/chat", since).size(), 1, 20000);
    // Returns although the server never answers: the upload is aborted, and its caller hears
    // that it failed.
    m_net.reset();
    QCOMPARE(m_recorder->answer(QStringLiteral("hang")).signal, QStringLiteral("uploadFailure"));
}

QTEST_MAIN(TestNetTransfer)
#include "tst_nettransfer.moc"
