// File transfer against the reference server: multipart uploads (a long text, a picture, a
// profile picture and a file of the largest accepted size) with their parts in order and steady
// progress, picture fetches into the cache, downloads to the cache or a chosen path, and the
// ways fetches and downloads fail.
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
} // namespace

class TestNetTransfer : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void uploads_data();
    void uploads();
    void downloads_data();
    void downloads();
    void pictures_data();
    void pictures();
    void destroyedWhileATransferHangs();
};

void TestNetTransfer::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
    QVERIFY(start());
    QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
}

void TestNetTransfer::uploads_data()
{
    QTest::addColumn<qint64>("size");    // bytes of the file; -1: a long text message, 0: a picture
    QTest::addColumn<QString>("path");   // "/rest/file" for the profile picture
    QTest::addColumn<QString>("fields"); // "name=value&...", in order
    const QString file = QStringLiteral("userId=%me&contentType=10&thumbType=10&width=0&height=0");
    QTest::newRow("long text") << qint64(-1) << "/rest/file/chat" << file;
    QTest::newRow("picture") << qint64(0) << "/rest/file/chat"
                             << "userId=%me&contentType=20&thumbType=20&width=64&height=48";
    QTest::newRow("profile picture")
        << qint64(0) << "/rest/file"
        << "userId=%me&fileKey=pk-7&fileSeq=0&contentType=20&thumbType=40&width=64&height=48";
    QTest::newRow("largest file") << qint64(FileManager::kFileSizeLimit) << "/rest/file/chat"
                                  << file;
}

void TestNetTransfer::uploads()
{
    QFETCH(qint64, size);
    QFETCH(QString, path);
    QFETCH(QString, fields);

    QString file = FileManager::cacheFilePath(QStringLiteral("photo 1.png"));
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QVERIFY(image.save(file));
    if (size < 0)
        file = FileManager::makeTextFile(QString(600, QChar(0xD55C)) + QStringLiteral(" + & = %"));
    if (size > 0) {
        QFile big(file = FileManager::cacheFilePath(QStringLiteral("big.bin")));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(size));
    }
    const QFileInfo info(file);
    const QString reqId = QStringLiteral("msg-%1").arg(QTest::currentDataTag());
    const qint64 since = m_server.lastRequestSeq();
    QVERIFY(size != 0                   ? m_net->uploadChatFile(reqId, file)
            : path == "/rest/file/chat" ? m_net->uploadChatImage(reqId, file, QSize(64, 48))
                                        : m_net->uploadProfileImage(reqId, file, "pk-7", {64, 48}));
    const NetRecorder::Event answer = m_recorder->answer(reqId, 120000);
    QVERIFY2(answer.signal == QLatin1String("uploadSuccess"), qPrintable(answer.text()));
    const QList<NetRecorder::Event> progress = m_recorder->of("uploadProgress", reqId);
    QVERIFY(steady(progress) && progress.last().total() > info.size());

    // The path, the fields in order with their values, then the file's name and the file.
    const QJsonValue received = m_server.requests(path, since).last();
    QStringList sent = {received["path"].toString()};
    for (const QJsonValue& part : received["parts"].toArray())
        sent << part.toString() + '=' + received["form"][part.toString()].toString();
    sent.last() += received["file"]["filename"].toString() + ' ' +
                   QString::number(received["file"]["size"].toDouble(), 'f', 0);
    fields.replace(QStringLiteral("%me"), QString::number(m_session->userId()));
    QCOMPARE(sent.join('&'), QStringLiteral("%1&%2&uploadFileName=%3&file=%3 %4")
                                 .arg(path, fields, info.fileName())
                                 .arg(info.size()));

    // The boundary of the rule: 10,000,000,000 + r * 90,000,000,000 / 32,768 in hexadecimal
    // digits after "--", shown for the smallest, middle and largest r.
    QCOMPARE(QList<QByteArray>({NetMultipart::boundary(0), NetMultipart::boundary(16384),
                                NetMultipart::boundary(32767)}),
             QList<QByteArray>({"--2540be400", "--cce416600", "--17484cff29"}));
    const QString contentType = received["headers"]["content-type"].toString();
    QVERIFY2(contentType.contains(
                 QRegularExpression("^multipart/form-data; boundary=--[0-9a-f]{9,10}$")),
             qPrintable(contentType));
    QCOMPARE(sentHeaders(received["seq"].toInt()), identifyingHeaders(*m_session, contentType));
}

void TestNetTransfer::downloads_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("target"); // "" for the cache; relative to a temporary folder
    QTest::addColumn<int>("httpCode");   // of a failure; 0 for success
    QTest::addColumn<QString>("error");  // "" for any text

    const QString none;
    QTest::newRow("to the cache") << "/files/seeddoc1.txt" << none << 0 << none;
    QTest::newRow("to a chosen path in a new folder") << "/files/seeddoc2.txt"
                                                      << "chosen/sub/report.txt" << 0 << none;
    QTest::newRow("not on the server") << "/files/nothing-here.txt" << none << 404 << none;
    QTest::newRow("target under a file") << "/files/seeddoc3.txt"
                                         << "plain.txt/x/report.txt" << 200 << "Can't open file";
    QTest::newRow("chosen path that climbs out")
        << "/files/seeddoc3.txt"
        << "chosen/../../escaped.txt" << 200 << "Can't open file";
}

void TestNetTransfer::downloads()
{
    QFETCH(QString, url);
    QFETCH(QString, target);
    QFETCH(int, httpCode);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QVERIFY(QFile(dir.filePath(QStringLiteral("plain.txt"))).open(QIODevice::WriteOnly));
    const QString chosen = target.isEmpty() ? QString() : dir.filePath(target);
    const QString expectedPath = target.isEmpty() ? FileManager::cacheFilePath(url) : chosen;
    QFile::remove(expectedPath);
    const QStringList cacheBefore = cacheFiles();

    const QString reqId = QStringLiteral("dl-%1").arg(QTest::currentDataTag());
    QVERIFY(m_net->downloadFile(reqId, url, chosen));
    const NetRecorder::Event answer = m_recorder->answer(reqId);
    if (httpCode != 0) {
        QCOMPARE(QVariantList({answer.signal, answer.errCode()}),
                 QVariantList({"downloadFailure", httpCode}));
        QVERIFY(error.isEmpty() ? !answer.text().isEmpty() : answer.text() == error);
        // Nothing was left behind, in the cache or near the target.
        QCOMPARE(cacheFiles(), cacheBefore);
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList("plain.txt"));
        QVERIFY(!QFileInfo::exists(QFileInfo(dir.path()).dir().filePath("escaped.txt")));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("plain.txt"))).size(), qint64(0));
        return;
    }
    QCOMPARE(QVariantList{answer.signal} + answer.args,
             QVariantList({"downloadSuccess", reqId, url, expectedPath}));
    const QString original = m_server.dataDir() + url;
    QFile got(expectedPath), sent(original);
    QVERIFY(got.open(QIODevice::ReadOnly) && sent.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), sent.readAll());
    const QList<NetRecorder::Event> progress = m_recorder->of("downloadProgress", reqId);
    QVERIFY(steady(progress) && progress.last().done() == QFileInfo(original).size());
}

void TestNetTransfer::pictures_data()
{
    QTest::addColumn<QString>("url"); // %1: a user of the directory
    QTest::addColumn<bool>("fetched");
    QTest::newRow("server path") << QStringLiteral("/pictures/u%1_1.png") << true;
    QTest::newRow("server path with a query")
        << QStringLiteral("/pictures/u%1_1_t.png?v=2") << true;
    QTest::newRow("not on the server") << QStringLiteral("/pictures/u999999_1_t.png") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("dots") << QStringLiteral("/pictures/..") << false;
}

void TestNetTransfer::pictures()
{
    QFETCH(QString, url);
    QFETCH(bool, fetched);
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
    const QVariant w = QVariant::fromValue(&widget);
    const QVariantList heard =
        fetched ? QVariantList{"imageSuccess", url, path, w} : QVariantList{"imageFailure", url, w};
    for (const NetRecorder::Event& e : m_recorder->events())
        QCOMPARE(QVariantList{e.signal} + e.args, heard);
    // The cache gains the whole picture or nothing, and no temporary file is left behind.
    if (fetched)
        cache << QFileInfo(path).fileName();
    cache.sort();
    QCOMPARE(cacheFiles(), cache);
    if (!fetched)
        return;
    QVERIFY(!QImage(path).isNull());

    // Cached: the path at once, and nothing follows.
    m_recorder->clear();
    QCOMPARE(m_net->requestImage(url, &widget), path);
    QTest::qWait(300);
    QVERIFY(m_recorder->events().isEmpty());
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
