#include "accountfixture.h"
#include "common/boxanswerer.h"

#include "account/settingsdialog.h"
#include "account/upgradedialog.h"
#include "common/filesizelimit.h"
#include "common/testenv.h"
#include "net/filemanager.h"
#include "session/localsettings.h"
#include "store/mtdata.h"

struct LogoutOutcome
{
    int completed = 0;
    bool dbExists = false;
    int logoutRequests = 0;
    MT_TYPED(LogoutOutcome, completed, dbExists, logoutRequests)
};
// Sentinel: "removed" or "ping".
struct LogoutRow
{
    QString account, slot;
    QStringList steps;
    QString sentinel;
    LogoutOutcome expected;
};
Q_DECLARE_METATYPE(LogoutRow)

struct Outcome
{
    int result = -1, boxes = 0;
    QStringList cache;
    QByteArray fileHash; // empty when downloadFilePath() is not a readable file
    int requests = 0;    // that reached /download
    MT_TYPED(Outcome, result, boxes, cache, fileHash, requests)
};

// "%hash": the package's.
struct DownloadRow
{
    DevUpdate update;
    QJsonObject fault;
    int stallMsec = UpgradeDialog::kStallMsec;
    rlim_t fileLimit = RLIM_INFINITY;
    QString caFile;
    Outcome expected;
};
Q_DECLARE_METATYPE(DownloadRow)

namespace {
// The reference server's update package: a line naming it, then (i * 31 + 7) & 0xff repeated.
QByteArray package(const QString& name, qint64 size)
{
    QByteArray bytes = "VeltriTalk update package " + name.toUtf8() + '\n';
    const int total = size < 0 ? bytes.size() + 64 * 1024 : int(size);
    for (int i = 0; bytes.size() < total; ++i)
        bytes.append(char((i * 31 + 7) & 0xff));
    return bytes.left(total);
}

QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16);
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    QTemporaryDir m_dir;
    QString settingsPath() const { return m_dir.filePath("settings.ini"); }

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    }
    void init()
    {
        QDir(FileManager::cacheFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
        QVERIFY(m_server.setFault({{"mode", "off"}}));
    }

    void logout_data()
    {
        QTest::addColumn<LogoutRow>("row");
        const LogoutOutcome removed{1, false, 1};
        QTest::newRow("from the profile editor")
            << LogoutRow{"user004",
                         "on_myProfileEditButton_clicked",
                         {"ProfileEditDialog:logoutButton", "MtMessageDialog:okButton"},
                         "removed",
                         removed};
        QTest::newRow("from the settings' own button") << LogoutRow{
            "user005", "on_logoutButton_clicked", {"MtMessageDialog:okButton"}, "removed", removed};
        QTest::newRow("refused in the question")
            << LogoutRow{"user006",
                         "on_myProfileEditButton_clicked",
                         {"ProfileEditDialog:logoutButton", "MtMessageDialog:cancelButton",
                          "ProfileEditDialog:cancelButton"},
                         "ping",
                         {0, true, 0}};
    }
    void logout()
    {
        QFETCH(LogoutRow, row);
        LoggedIn user(m_server, row.account, LoggedIn::kPassword, "test-pc", false);
        QVERIFY(user.ok);
        const QString dbPath = user.session->dbPath();
        const DevRequest logoutRequest{"DELETE",
                                       "/rest/auth/" + QString::number(user->mtData()->userId())};
        const LocalSettings settings(settingsPath());
        SettingsDialog dialog(user.session.get(), settings);
        QSignalSpy completed(&dialog, &SettingsDialog::logoutCompleted);
        connect(&dialog, &SettingsDialog::logoutCompleted, user.session.get(),
                &MtSession::removeAccount);
        QSignalSpy removed(user.session.get(), &MtSession::accountRemoved);
        dialog.show();
        const qint64 since = m_server.lastRequestSeq();
        ModalScript script(row.steps);
        QMetaObject::invokeMethod(&dialog, row.slot.toLatin1().constData());
        QVERIFY(script.finished());
        QSignalSpy pinged(user.session->net(), &NetServerManager::onHttpSuccess);
        user.session->ping();
        const QMap<QString, QSignalSpy*> sentinels{{"removed", &removed}, {"ping", &pinged}};
        QVERIFY(waitUntil([&] { return !sentinels.value(row.sentinel)->isEmpty(); }));
        const LogoutOutcome got{int(completed.count()), QFile::exists(dbPath),
                                int(m_server.requestsOf("test-pc", since).count(logoutRequest))};
        QCOMPARE(got, row.expected);
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
        const QStringList file = {QStringLiteral("VeltriTalk-Setup-1047.exe")};
        const DevUpdate version{1047};
        const DevUpdate chunked{1047, {}, 300000, true, 1000000};
        const DevUpdate plainHttp{1047, "http://localhost:" + QString::number(m_server.restPort()) +
                                            "/download/" + file[0]};
        const QJsonObject off = {{"mode", "off"}};
        const int patient = UpgradeDialog::kStallMsec;
        const Outcome failed{0, 1, {}, {}, 1};
        const Outcome refused{0, 1, {}, {}, 0};
        const QString ca = m_server.caFile();
        const rlim_t any = RLIM_INFINITY;
        QTest::newRow("whole package")
            << DownloadRow{version, off, patient, any, ca, {1, 1, file, "%hash", 1}};
        QTest::newRow("chunked without a size, slowly")
            << DownloadRow{chunked, off, patient, any, ca, {1, 1, file, "%hash", 1}};
        QTest::newRow("HTTP error with a body") << DownloadRow{
            version, DevFault::error("/download", 500).toJson(), patient, any, ca, failed};
        QTest::newRow("stalls after the first bytes") << DownloadRow{
            version, DevFault::stall("/download", 1000).toJson(), 500, any, ca, failed};
        QTest::newRow("no answer at all")
            << DownloadRow{version, DevFault::hang("/download").toJson(), 500, any, ca, failed};
        QTest::newRow("disk full midway") << DownloadRow{version, off, patient, 20000, ca, failed};
        QTest::newRow("server not trusted without the organisation's CA")
            << DownloadRow{version, off, patient, any, QString(), refused};
        QTest::newRow("plain http link refused before any request")
            << DownloadRow{plainHttp, off, patient, any, ca, refused};
    }
    void download()
    {
        QFETCH(DownloadRow, row);
        const QString link = m_server.setUpdate(row.update).value_or(QString());
        QVERIFY(!link.isEmpty());
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
        got.cache =
            QDir(FileManager::cacheFolder())
                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System);
        QFile file(dialog.downloadFilePath());
        got.fileHash = file.open(QIODevice::ReadOnly) ? sha(file.readAll()) : QByteArray();
        got.requests = m_server.requests(QStringLiteral("/download"), since).size();

        const QString name = UpgradeDialog::fileNameFor(link);
        row.expected.fileHash.replace("%hash", sha(package(name, row.update.size)));
        QCOMPARE(got, row.expected);
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
