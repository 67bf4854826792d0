// The settings dialog over a logged-in session against the reference server over real TLS.
#include "accountfixture.h"

#include "account/profileeditdialog.h"
#include "account/settingsdialog.h"
#include "account/settingstables.h"
#include "common/testenv.h"
#include "session/localsettings.h"
#include "store/mtdata.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
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
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
