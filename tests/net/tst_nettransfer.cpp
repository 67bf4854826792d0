#include "net/filemanager.h"
#include "netfixture.h"

namespace {
QStringList cacheFiles()
{
    return QDir(FileManager::cacheFolder()).entryList(QDir::Files, QDir::Name);
}

// Parts in order, "name=value".
struct ReceivedUpload
{
    QString path;
    QStringList fields;
    QString fileName;
    qint64 fileSize = 0;
    MT_TYPED(ReceivedUpload, path, fields, fileName, fileSize)
};

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

using MakeFile = std::function<QString()>;
using Upload = std::function<bool(NetServerManager&, const QString& reqId, const QString& file)>;
using Transfer = std::function<bool(NetServerManager&)>;

struct TransferRow
{
    Transfer transfer;
    NetOutcome expected;
    DevFault fault = {QStringLiteral("off")};
    QString written = {};  // the file the transfer leaves; "" for none
    DevUpdate update = {}; // the update package's size and pace
};
Q_DECLARE_METATYPE(MakeFile)
Q_DECLARE_METATYPE(Upload)
Q_DECLARE_METATYPE(TransferRow)

class TestNetTransfer : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(start());
        QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
        QVERIFY(QDir().mkpath(m_targets.path()));
        QVERIFY(QFile(m_targets.filePath(QStringLiteral("plain.txt"))).open(QIODevice::WriteOnly));
    }

    void cleanup()
    {
        m_server.clearFault();
        m_server.clearUpdate();
        m_recorder->clear();
    }

    void uploads_data()
    {
        QTest::addColumn<MakeFile>("makeFile");
        QTest::addColumn<Upload>("upload");
        QTest::addColumn<QStringList>("fields"); // "name=value" in order; %me: the user's id
        QTest::addColumn<QString>("target");     // of the download back, in new folders

        const QStringList file = {"userId=%me", "contentType=10", "thumbType=10", "width=0",
                                  "height=0"};
        const Upload chatFile = [](NetServerManager& n, const QString& id, const QString& f) {
            return n.uploadChatFile(id, f);
        };
        QTest::newRow("picture") << MakeFile(picture)
                                 << Upload([](NetServerManager& n, const QString& id,
                                              const QString& f) {
                                        return n.uploadChatImage(id, f, QSize(64, 48));
                                    })
                                 << QStringList{"userId=%me", "contentType=20", "thumbType=20",
                                                "width=64", "height=48"}
                                 << "chosen/sub/photo.png";
        QTest::newRow("largest file")
            << MakeFile([] { return fileOfSize(FileManager::kFileSizeLimit); }) << chatFile << file
            << "chosen/big.bin";
    }

    void uploads()
    {
        QFETCH(MakeFile, makeFile);
        QFETCH(Upload, upload);
        QFETCH(QStringList, fields);
        QFETCH(QString, target);

        const QFileInfo info(makeFile());
        QVERIFY(info.exists());
        const QString reqId = QStringLiteral("up-%1").arg(QTest::currentDataTag());
        const qint64 since = m_server.lastRequestSeq();
        const QString path = QStringLiteral("/rest/file/chat");
        QVERIFY(upload(*m_net, reqId, info.filePath()));
        const NetRecorder::Event answer = m_recorder->answer(reqId, 120000);
        QVERIFY2(answer.signal == QLatin1String("uploadSuccess"), qPrintable(answer.text()));

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

        // Downloaded back to a chosen path in new folders: the same bytes.
        const QString url = answer.object()["webUrl"].toString();
        QTemporaryDir dir;
        const QString chosen = dir.filePath(target);
        const QString dlId = "down-" + reqId;
        QVERIFY(m_net->downloadFile(dlId, url, chosen));
        const NetRecorder::Event got = m_recorder->answer(dlId, 120000);
        QCOMPARE(QVariantList{got.signal} + got.args,
                 QVariantList({"downloadSuccess", dlId, url, chosen}));
        QVERIFY(TestEnv::contents(chosen) == TestEnv::contents(info.filePath()));
    }

    // A transfer that fails or goes silent reports once and leaves no file behind, in the cache
    // or near a chosen target (in m_targets beside plain.txt, or above it).
    void failedTransfers_data()
    {
        QTest::addColumn<TransferRow>("row");
        const QString doc = QStringLiteral("/files/seeddoc1.txt");
        const QString pictureUrl =
            QStringLiteral("/pictures/u%1_1.png").arg(QString::number(m_session->userId() + 5));
        const int timedOut = NetServerManager::kErrorNetwork;
        const auto download = [this](const QString& url, const QString& target = QString()) {
            const QString chosen = target.isEmpty() ? QString() : m_targets.filePath(target);
            return Transfer([=](NetServerManager& n) { return n.downloadFile("dl", url, chosen); });
        };
        const NetOutcome refused{"downloadFailure", "dl", 200};
        QTest::newRow("download not on the server")
            << TransferRow{download("/files/nothing-here.txt"), {"downloadFailure", "dl", 404}};
        QTest::newRow("download target under a file")
            << TransferRow{download("/files/seeddoc3.txt", "plain.txt/x/report.txt"), refused};
        // Through folders that exist, so that only the program can refuse it.
        const QString climbing = "../" + QFileInfo(m_targets.path()).fileName() + "/../escaped.txt";
        QTest::newRow("download to a chosen path that climbs out")
            << TransferRow{download("/files/seeddoc3.txt", climbing), refused};
        QTest::newRow("download that stops after its first bytes") << TransferRow{
            download(doc), {"downloadFailure", "dl", timedOut}, DevFault::stall(doc, 10)};
        QTest::newRow("picture that stops after its first bytes")
            << TransferRow{[pictureUrl](NetServerManager& n) {
                               return n.requestImage(pictureUrl, nullptr).isEmpty();
                           },
                           {"imageFailure", pictureUrl},
                           DevFault::stall("/pictures/", 10)};
        QTest::newRow("upload without an answer") << TransferRow{
            [](NetServerManager& n) { return n.uploadChatFile("silent", fileOfSize(4 << 20)); },
            {"uploadFailure", "silent", timedOut},
            DevFault::hang("/rest/file/chat"),
            "big.bin"};
        // Longer than the idle time in all, but never silent that long.
        QTest::newRow("slow download that keeps moving")
            << TransferRow{download("/download/slow.bin"),
                           {"downloadSuccess", "dl"},
                           {QStringLiteral("off")},
                           "slow.bin",
                           {0, {}, 40000, false, 16000}};
    }

    void failedTransfers()
    {
        QFETCH(TransferRow, row);
        for (const char* name : {"seeddoc1.txt", "seeddoc3.txt", "nothing-here.txt", "slow.bin"})
            QFile::remove(FileManager::cacheFilePath(name));
        QStringList cache = cacheFiles() << row.written;
        cache.removeAll(QString());
        cache.removeDuplicates();
        cache.sort();
        QVERIFY(m_server.fail(row.fault));
        QVERIFY(m_server.setUpdate(row.update));

        auto net = newEngine(QString(), 1000);
        NetRecorder recorder(net.get());
        QVERIFY(row.transfer(*net));
        QCOMPARE(recorder.answer(row.expected.id).signal, row.expected.signal);
        finish(net);
        QCOMPARE(recorder.outcomes(), QList<NetOutcome>{row.expected});
        QCOMPARE(cacheFiles(), cache);
        QCOMPARE(QDir(m_targets.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList("plain.txt"));
        QVERIFY(!QFileInfo::exists(QFileInfo(m_targets.path()).dir().filePath("escaped.txt")));
        QCOMPARE(QFileInfo(m_targets.filePath(QStringLiteral("plain.txt"))).size(), qint64(0));
    }

    void destroyedWhileATransferHangs()
    {
        QVERIFY(m_server.fail(DevFault::hang(QStringLiteral("/rest/file/chat"))));
        const qint64 since = m_server.lastRequestSeq();
        QVERIFY(
            m_net->uploadChatFile(QStringLiteral("hang"), FileManager::makeTextFile("waiting")));
        QVERIFY(waitUntil([&] { return m_server.requests("/rest/file/chat", since).size() == 1; }));
        // Returns though the server never answers: the upload is aborted and reported.
        m_net.reset();
        QCOMPARE(m_recorder->answer(QStringLiteral("hang")).signal,
                 QStringLiteral("uploadFailure"));
    }

private:
    // The targets' folder inside one of its own, so that a file that escapes it lands where
    // only this run looks.
    QTemporaryDir m_above;
    QDir m_targets{m_above.filePath(QStringLiteral("targets"))};
};

QTEST_MAIN(TestNetTransfer)
#include "tst_nettransfer.moc"
