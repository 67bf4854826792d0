// The update download against the reference server over real TLS with its own CA.
#include "account/upgradedialog.h"
#include "boxanswerer.h"

#include "common/devserver.h"
#include "common/filesizelimit.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "net/filemanager.h"
#include "net/serverconfig.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

// What the user saw and what the dialog left behind.
struct Outcome
{
    int result = -1;     // of exec()
    int boxes = 0;       // message boxes shown
    QStringList cache;   // the cache folder's entries afterwards
    QByteArray fileHash; // of downloadFilePath(), empty when it is not a readable file
    int requests = 0;    // that reached the server's /download
    MT_TYPED(Outcome, result, boxes, cache, fileHash, requests)
};

// A download and its outcome ("%hash": the package's; %1 in the link: the REST port).
struct DownloadRow
{
    QString link;
    QJsonObject version;
    QJsonObject fault;
    int stallMsec = UpgradeDialog::kStallMsec;
    rlim_t fileLimit = RLIM_INFINITY;
    QString caFile;
    Outcome expected;
};
Q_DECLARE_METATYPE(DownloadRow)

namespace {
// The reference server's update package: a line naming it, then (i * 31 + 7) & 0xff repeated.
QByteArray package(const QString& name, int size = -1)
{
    QByteArray bytes = "VeltriTalk update package " + name.toUtf8() + '\n';
    const int total = size < 0 ? bytes.size() + 64 * 1024 : size;
    for (int i = 0; bytes.size() < total; ++i)
        bytes.append(char((i * 31 + 7) & 0xff));
    return bytes.left(total);
}

QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16);
}

QStringList cacheEntries()
{
    return QDir(FileManager::cacheFolder())
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System);
}
} // namespace

class TestUpgradeDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_config = ServerConfig::fromFile(m_server.clientIni());
    }
    void init()
    {
        QDir(FileManager::cacheFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
        QVERIFY(m_server.setFault({{"mode", "off"}}));
    }

    // The name from a server's link never climbs out of the cache nor holds a refused character.
    void fileNames_data()
    {
        QTest::addColumn<QStringList>("linkAndName");
        QTest::newRow("trailing slash")
            << QStringList{"https://h/download/Setup-1047.exe/", "Setup-1047.exe"};
        QTest::newRow("query and fragment")
            << QStringList{"https://h/d/Setup.exe?v=2&x=/y#top", "Setup.exe"};
        QTest::newRow("backslashes") << QStringList{"https://h/d/..\\..\\evil.exe", "evil.exe"};
        QTest::newRow("encoded slash") << QStringList{"https://h/d/..%2F..%2Fevil.exe", "evil.exe"};
        QTest::newRow("reserved characters") << QStringList{"https://h/d/a:b*c.exe", "a_b_c.exe"};
        QTest::newRow("dots") << QStringList{"https://h/download/..", ""};
        QTest::newRow("encoded dots") << QStringList{"https://h/download/%2E%2E", ""};
        QTest::newRow("no path") << QStringList{"https://h/", ""};
    }
    void fileNames()
    {
        QFETCH(QStringList, linkAndName);
        QCOMPARE(UpgradeDialog::fileNameFor(linkAndName.at(0)), linkAndName.at(1));
    }

    // Only a whole file succeeds; a failure shows one box, rejects and leaves an empty cache.
    void download_data()
    {
        QTest::addColumn<DownloadRow>("row");
        const QString link =
            QStringLiteral("https://localhost:%1/download/VeltriTalk-Setup-1047.exe");
        const QStringList file = {QStringLiteral("VeltriTalk-Setup-1047.exe")};
        const QJsonObject version = {{"minVersion", 1047}};
        const QJsonObject chunked = {
            {"minVersion", 1047}, {"size", 300000}, {"chunked", true}, {"bytesPerSecond", 1000000}};
        const QJsonObject off = {{"mode", "off"}};
        const int patient = UpgradeDialog::kStallMsec;
        const Outcome failed{0, 1, {}, {}, 1};
        const Outcome refused{0, 1, {}, {}, 0};
        const QString ca = m_config.caFile();
        const rlim_t any = RLIM_INFINITY;
        const auto fault = [](const char* mode, const QJsonObject& more = {}) {
            QJsonObject rule = more;
            rule["mode"] = mode;
            rule["path"] = "/download";
            return rule;
        };
        QTest::newRow("whole package")
            << DownloadRow{link, version, off, patient, any, ca, {1, 1, file, "%hash", 1}};
        QTest::newRow("chunked without a size, slowly")
            << DownloadRow{link, chunked, off, patient, any, ca, {1, 1, file, "%hash", 1}};
        QTest::newRow("HTTP error with a body") << DownloadRow{
            link, version, fault("error", {{"status", 500}}), patient, any, ca, failed};
        QTest::newRow("stalls after the first bytes")
            << DownloadRow{link, version, fault("stall", {{"bytes", 1000}}), 500, any, ca, failed};
        QTest::newRow("no answer at all")
            << DownloadRow{link, version, fault("hang"), 500, any, ca, failed};
        QTest::newRow("disk full midway")
            << DownloadRow{link, version, off, patient, 20000, ca, failed};
        QTest::newRow("server not trusted without the organisation's CA")
            << DownloadRow{link, version, off, patient, any, QString(), refused};
        QTest::newRow("plain http link refused before any request") << DownloadRow{
            QString(link).replace("https:", "http:"), version, off, patient, any, ca, refused};
    }
    void download()
    {
        QFETCH(DownloadRow, row);
        const QString link = row.link.arg(m_server.restPort());
        QCOMPARE(
            m_server.control("POST", QStringLiteral("/control/version"), row.version)["minVersion"],
            QJsonValue(1047));
        QVERIFY(m_server.setFault(row.fault));
        const qint64 since = m_server.lastRequestSeq();

        BoxAnswerer answerer;
        UpgradeDialog dialog(link, row.caFile);
        dialog.setStallTimeout(row.stallMsec);
        Outcome got;
        {
            const FileSizeLimit limit(row.fileLimit);
            got.result = dialog.exec();
        }
        got.boxes = int(answerer.texts.size());
        got.cache = cacheEntries();
        QFile file(dialog.downloadFilePath());
        got.fileHash = file.open(QIODevice::ReadOnly) ? sha(file.readAll()) : QByteArray();
        got.requests = m_server.requests(QStringLiteral("/download"), since).size();

        const QString name = UpgradeDialog::fileNameFor(link);
        row.expected.fileHash.replace("%hash", sha(package(name, row.version["size"].toInt(-1))));
        QCOMPARE(got, row.expected);
        // Released before the next row, so that held requests do not pile up.
        QVERIFY(m_server.setFault({{"mode", "off"}}));
    }

    void cancelMidway()
    {
        const QJsonObject version = {
            {"minVersion", 1047}, {"size", 4000000}, {"bytesPerSecond", 400000}};
        QVERIFY(m_server.control("POST", QStringLiteral("/control/version"), version).isObject());
        BoxAnswerer answerer;
        UpgradeDialog dialog(
            QStringLiteral("https://localhost:%1/download/VeltriTalk-Setup-1047.exe")
                .arg(m_server.restPort()),
            m_config.caFile());
        // Cancel is pressed once the download has made progress.
        int seen = 0;
        connect(dialog.findChild<QProgressBar*>(QStringLiteral("progressBar")),
                &QProgressBar::valueChanged, &dialog, [&](int value) {
                    if (value <= 0 || seen++)
                        return;
                    QMetaObject::invokeMethod(
                        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                        &QPushButton::click, Qt::QueuedConnection);
                });
        const int result = dialog.exec();
        QCOMPARE(QVariantList({result, dialog.errorString(), seen > 0}),
                 QVariantList({0, "Cancelled", true}));
        QCOMPARE(answerer.texts, QStringList());
        QCOMPARE(cacheEntries(), QStringList());
    }

    // The user learns where the installer is, to start it by hand; the program goes on.
    void startFailureIsShown()
    {
        const QString path =
            FileManager::cacheFilePath(QStringLiteral("VeltriTalk-Setup-1047.exe"));
        BoxAnswerer answerer;
        // The offscreen platform opens no documents; here the file is not even there.
        const bool started = UpgradeDialog::startInstaller(nullptr, path);
        QCOMPARE((QVariantList{started, answerer.texts.size(),
                               answerer.texts.value(0).contains(QDir::toNativeSeparators(path))}),
                 (QVariantList{false, 1, true}));
    }

private:
    TestEnv m_env;
    DevServer m_server;
    ServerConfig m_config;
};

QTEST_MAIN(TestUpgradeDialog)
#include "tst_upgradedialog.moc"
