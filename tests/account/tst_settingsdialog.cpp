// The settings dialog over a logged-in session, and the update download, against the reference
// server over real TLS with its own CA.
#include "accountfixture.h"
#include "boxanswerer.h"

#include "account/profileeditdialog.h"
#include "account/settingsdialog.h"
#include "account/settingstables.h"
#include "account/upgradedialog.h"
#include "common/filesizelimit.h"
#include "common/testenv.h"
#include "net/filemanager.h"
#include "session/localsettings.h"
#include "store/mtdata.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>

// What the dialog shows, as the values its entries stand for.
struct Shown
{
    bool lockChecked = false, lockEnabled = false;
    int lockMinutes = 0, displaySeconds = 0, alarmType = 0;
    bool autorun = false;
    QString name;
    MT_TYPED(Shown, lockChecked, lockEnabled, lockMinutes, displaySeconds, alarmType, autorun, name)
};

// A change as the main window hears it.
struct Change
{
    int type = 0, data = 0;
    MT_TYPED(Change, type, data)
};

// What the user does ("lockBox", "time:<index>", "autorun") and what the main window hears.
struct ChangeRow
{
    QByteArray ini;
    QStringList actions;
    QVector<Change> changes;
};

// What the settings dialog makes of the profile editor's steps.
struct ProfileShown
{
    QString name;
    Qt::TextFormat format = Qt::PlainText;
    int announced = 0;
    QVector<Change> changes;
    MT_TYPED(ProfileShown, name, format, announced, changes)
};
struct ProfileRow
{
    QStringList steps;
    ProfileShown expected;
};

// The end of a logout attempt.
struct LogoutOutcome
{
    int completed = 0, boxes = 0;
    bool dbExists = false;
    int logoutRequests = 0;
    MT_TYPED(LogoutOutcome, completed, boxes, dbExists, logoutRequests)
};
// Where the logout starts, the windows' steps, and the sentinel: "removed" or "ping".
struct LogoutRow
{
    QString account, slot;
    QStringList steps;
    QString sentinel;
    LogoutOutcome expected;
};
Q_DECLARE_METATYPE(Shown)
Q_DECLARE_METATYPE(ChangeRow)
Q_DECLARE_METATYPE(ProfileRow)
Q_DECLARE_METATYPE(LogoutRow)

namespace {

Shown shown(const SettingsDialog& d)
{
    auto* lock = d.findChild<QComboBox*>("autoLockComboBox");
    return {d.findChild<QCheckBox*>("autoLockCheckBox")->isChecked(),
            lock->isEnabled(),
            SettingsTables::autoLockMinutes(lock->currentIndex()),
            SettingsTables::displayTimeSeconds(
                d.findChild<QComboBox*>("alarmDisplayTimeComboBox")->currentIndex()),
            SettingsTables::alarmType(d.findChild<QComboBox*>("alarmTypeComboBox")->currentIndex()),
            d.findChild<QCheckBox*>("autorunCheckBox")->isChecked(),
            d.findChild<QLabel*>("nameLabel")->text()};
}

void act(SettingsDialog& d, const QString& action)
{
    const int index = action.section(QLatin1Char(':'), 1).toInt();
    const QMap<QString, std::function<void()>> actions{
        {"lockBox", [&] { d.findChild<QCheckBox*>("autoLockCheckBox")->click(); }},
        {"time",
         [&] { d.findChild<QComboBox*>("alarmDisplayTimeComboBox")->setCurrentIndex(index); }},
        {"autorun", [&] { d.findChild<QCheckBox*>("autorunCheckBox")->click(); }}};
    actions.value(action.section(QLatin1Char(':'), 0, 0))();
}
} // namespace

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

class TestSettingsDialog : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    std::unique_ptr<LoggedIn> m_user;
    QTemporaryDir m_dir;
    QString settingsPath() const { return m_dir.filePath("settings.ini"); }
    bool writeSettings(const QByteArray& ini)
    {
        QFile file(settingsPath());
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(ini) == ini.size();
    }

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QVERIFY(
            m_server
                .control("PUT", "/control/user/1003", QJsonObject{{"userName", "<b>Kim</b> & Co"}})
                .isObject());
        m_user =
            std::make_unique<LoggedIn>(m_server, "user003", LoggedIn::kPassword, "test-pc", false);
        QVERIFY(m_user->ok);
    }
    void cleanupTestCase() { m_user.reset(); }
    // The update's: an empty cache folder, and no fault.
    void init()
    {
        QDir(FileManager::cacheFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
        QVERIFY(m_server.setFault({{"mode", "off"}}));
    }

    // A stored value no entry offers, or a file that cannot be read, shows a usable entry.
    void shownValues_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<Shown>("expected");
        const QString name("<b>Kim</b> & Co");
        QTest::newRow("stored values") << QByteArray("[Settings]\nAutoLock=10\nAlarmDisplayTime=8\n"
                                                     "AlarmType=0\nAutoRun=0\n")
                                       << Shown{true, true, 10, 8, 0, false, name};
        QTest::newRow("4 minutes: the box on, a usable entry")
            << QByteArray("[Settings]\nAutoLock=4\n") << Shown{true, true, 1, 5, 2, true, name};
    }
    void shownValues()
    {
        QFETCH(QByteArray, ini);
        QFETCH(Shown, expected);
        QVERIFY(writeSettings(ini));
        const LocalSettings settings(settingsPath());
        SettingsDialog dialog(m_user->session.get(), settings);
        dialog.show();
        QCOMPARE(shown(dialog), expected);
    }

    void changes_data()
    {
        QTest::addColumn<ChangeRow>("row");
        QTest::newRow("checking the lock box takes the entry shown")
            << ChangeRow{{}, {"lockBox"}, {{0, 1}}};
        QTest::newRow("unchecking the lock")
            << ChangeRow{"[Settings]\nAutoLock=5\n", {"lockBox"}, {{0, -1}}};
        QTest::newRow("display time") << ChangeRow{{}, {"time:5"}, {{1, 8}}};
        QTest::newRow("autorun off and on")
            << ChangeRow{{}, {"autorun", "autorun"}, {{3, 0}, {3, 1}}};
    }
    void changes()
    {
        QFETCH(ChangeRow, row);
        QVERIFY(writeSettings(row.ini));
        // The main window's part: every change goes into the settings file at once.
        LocalSettings settings(settingsPath());
        SettingsDialog dialog(m_user->session.get(), settings);
        QVector<Change> heard;
        connect(&dialog, &SettingsDialog::settingsChanged, this, [&](int type, int data) {
            heard << Change{type, data};
            settings.applyChange(type, data);
        });
        dialog.show();
        for (const QString& action : row.actions)
            act(dialog, action);
        QCOMPARE(heard, row.changes);
    }

    // Five quick clicks on the own picture switch the log; a pause starts the count again.
    void loggingGesture_data()
    {
        QTest::addColumn<QVector<int>>("bursts");
        QTest::addColumn<int>("switches");
        QTest::newRow("five quick clicks") << QVector<int>{5} << 1;
        QTest::newRow("ten quick clicks switch twice") << QVector<int>{10} << 2;
        QTest::newRow("four, a pause, one") << QVector<int>{4, 1} << 0;
        QTest::newRow("four, a pause, five") << QVector<int>{4, 5} << 1;
    }
    void loggingGesture()
    {
        QFETCH(QVector<int>, bursts);
        QFETCH(int, switches);
        int switched = 0;
        SettingsDialog::setLoggingSwitch([&] { return ++switched % 2 == 1; });
        const LocalSettings settings(settingsPath());
        SettingsDialog dialog(m_user->session.get(), settings);
        dialog.setClickPause(50);
        dialog.show();
        auto* picture = dialog.findChild<QPushButton*>("myPictureButton");
        for (int burst : bursts) {
            for (int i = 0; i < burst; ++i)
                picture->click();
            // The gesture's own timer runs out: the next burst's clicks would restart it.
            auto* timer = dialog.findChild<QTimer*>();
            QSignalSpy ran(timer, &QTimer::timeout);
            timer->start(50);
            QVERIFY(ran.wait());
        }
        SettingsDialog::setLoggingSwitch(nullptr);
        QCOMPARE(switched, switches);
    }

    void profileChangesReachTheMainWindow_data()
    {
        QTest::addColumn<ProfileRow>("row");
        QTest::newRow("a new name") << ProfileRow{
            {"ProfileEditDialog:nameLineEdit=<i>Lee</i>", "ProfileEditDialog:okButton"},
            {"<i>Lee</i>", Qt::PlainText, 1, {}}};
        QTest::newRow("the picture removed") << ProfileRow{
            {"ProfileEditDialog:myPictureButton", "QMenu:removeAction", "MtMessageDialog:okButton",
             "ProfileEditDialog:nameLineEdit=Park", "ProfileEditDialog:okButton"},
            {"Park", Qt::PlainText, 2, {{4, 0}}}};
    }
    void profileChangesReachTheMainWindow()
    {
        QFETCH(ProfileRow, row);
        const LocalSettings settings(settingsPath());
        SettingsDialog dialog(m_user->session.get(), settings);
        QVector<Change> heard;
        connect(&dialog, &SettingsDialog::settingsChanged, this, [&](int type, int data) {
            heard << Change{type, data};
        });
        QSignalSpy profile(&dialog, &SettingsDialog::myProfileChanged);
        dialog.show();
        ModalScript script(row.steps);
        dialog.findChild<QPushButton*>("myProfileEditButton")->click();
        QVERIFY(script.finished());
        const QLabel* name = dialog.findChild<QLabel*>("nameLabel");
        QCOMPARE((ProfileShown{name->text(), name->textFormat(), int(profile.count()), heard}),
                 row.expected);
    }

    void logout_data()
    {
        QTest::addColumn<LogoutRow>("row");
        const LogoutOutcome removed{1, 1, false, 1};
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
                         {0, 1, true, 0}};
    }
    void logout()
    {
        QFETCH(LogoutRow, row);
        // One session per process: the store's connections are the process's own.
        m_user.reset();
        LoggedIn user(m_server, row.account, LoggedIn::kPassword, "test-pc", false);
        QVERIFY(user.ok);
        const QString dbPath = user.session->dbPath();
        const DevRequest logoutRequest{"DELETE",
                                       "/rest/auth/" + QString::number(user->mtData()->userId())};
        const LocalSettings settings(settingsPath());
        SettingsDialog dialog(user.session.get(), settings);
        // The main window's part: a confirmed logout removes the account.
        QSignalSpy completed(&dialog, &SettingsDialog::logoutCompleted);
        connect(&dialog, &SettingsDialog::logoutCompleted, user.session.get(),
                &MtSession::removeAccount);
        QSignalSpy removed(user.session.get(), &MtSession::accountRemoved);
        dialog.show();
        const qint64 since = m_server.lastRequestSeq();
        ModalScript script(row.steps);
        QMetaObject::invokeMethod(&dialog, row.slot.toLatin1().constData());
        QVERIFY(script.finished());
        // Sentinel: the account removed, or a ping answered after anything the dialog sent.
        QSignalSpy pinged(user.session->net(), &NetServerManager::onHttpSuccess);
        user.session->ping();
        const QMap<QString, QSignalSpy*> sentinels{{"removed", &removed}, {"ping", &pinged}};
        QVERIFY(waitUntil([&] { return !sentinels.value(row.sentinel)->isEmpty(); }));
        const LogoutOutcome got{int(completed.count()), int(script.boxTexts().size()),
                                QFile::exists(dbPath),
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
        const QString ca = m_server.caFile();
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
            m_server.caFile());
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
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
