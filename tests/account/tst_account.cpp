// The settings dialog, the update download, the password checks and change, and the profile
// answer, against the reference server over real TLS.
#include "common/boxanswerer.h"
#include "common/devserver.h"
#include "common/filesizelimit.h"
#include "common/loggedin.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/wait.h"

#include "account/changepassworddialog.h"
#include "account/passwordcheck.h"
#include "account/profileeditdialog.h"
#include "account/settingsdialog.h"
#include "account/upgradedialog.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "session/localsettings.h"
#include "session/mtsession.h"
#include "store/dbmanager.h"
#include "store/dbmtdata.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "widgets/mtmessagedialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Works through the modal windows that come up, one "Class:button" step each (e.g.
// "MtMessageDialog:okButton"), keeping every message box's text.
class ModalScript : public QObject
{
public:
    explicit ModalScript(const QStringList& steps) : m_steps(steps)
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (m_steps.isEmpty() || !modal || !modal->isVisible() ||
                m_steps.first().section(':', 0, 0) != modal->metaObject()->className())
                return;
            auto* target = modal->findChild<QPushButton*>(m_steps.first().section(':', 1));
            if (!target || !target->isEnabled())
                return;
            m_steps.removeFirst();
            // A text the box would render as markup is marked, so that no test takes it as shown.
            if (auto* box = qobject_cast<MtMessageDialog*>(modal))
                boxTexts << (box->findChild<QLabel*>("messageLabel")->textFormat() == Qt::PlainText
                                 ? ""
                                 : "rich:") +
                                box->text();
            // Clicked from the event loop: a click opening a modal window would otherwise block
            // this timer's slot, and a timer is not run again while its slot runs.
            QMetaObject::invokeMethod(target, &QPushButton::click, Qt::QueuedConnection);
        });
        m_poll.start(10);
    }
    bool finished() const { return m_steps.isEmpty(); }
    QStringList boxTexts;

private:
    QTimer m_poll;
    QStringList m_steps;
};

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
    int result = -1, boxes = 0, requests = 0; // requests: those that reached /download
    QStringList cache;
    QByteArray fileHash; // empty when downloadFilePath() is not a readable file
    MT_TYPED(Outcome, result, boxes, cache, fileHash, requests)
};

// "%hash": that of what the link serves; "%ca": the reference server's CA.
struct DownloadRow
{
    DevUpdate update;
    Outcome expected;
    QJsonObject fault = {{"mode", "off"}};
    int stallMsec = UpgradeDialog::kStallMsec;
    rlim_t fileLimit = RLIM_INFINITY;
    QString caFile = QStringLiteral("%ca");
};
Q_DECLARE_METATYPE(DownloadRow)

namespace {
QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16);
}

const QString kPassword = LoggedIn::kPassword;
const QString kNext = QStringLiteral("N3w-Passw0rd");
QJsonObject refusal(const QString& message)
{
    QJsonObject rule = DevFault::error("/rest/user/password", 400, 40103).toJson();
    rule["message"] = message;
    return rule;
}

// After a password change; the logins' error codes (0: accepted).
struct PasswordOutcome
{
    int result = -1;
    QStringList boxes;
    QString storedDigest;
    int loginNew = -1, loginOld = -1;
    MT_TYPED(PasswordOutcome, result, boxes, storedDigest, loginNew, loginOld)
};
struct PasswordRow
{
    QString account, oldPassword;
    QStringList steps;
    PasswordOutcome expected;
    QJsonObject fault = {{"mode", "off"}};
};
const PasswordOutcome kChanged{QDialog::Accepted, {}, DBMTData::passwordDigest(kNext), 0, 40101};
const PasswordOutcome kKept{QDialog::Rejected, {}, DBMTData::passwordDigest(kPassword), 40101, 0};

struct Profile
{
    QString name, thumbUrl, imageUrl, email, dept;
    bool chattAllow = false;
    MT_TYPED(Profile, name, thumbUrl, imageUrl, email, dept, chattAllow)
};

// A user's directory row in a session's store.
Profile profileOf(const LoggedIn& session, qint64 userId)
{
    DBUser u;
    session.db()->findUser(userId, u);
    return {u.userName(), u.thumbUrl(), u.imageUrl(), u.email(), u.deptName(), u.chattAllow()};
}

// Shown, the next password asked for after `old`, and sent.
void submit(QDialog& dialog, const QString& old)
{
    dialog.show();
    dialog.findChild<QLineEdit*>("oldPasswordLineEdit")->setText(old);
    dialog.findChild<QLineEdit*>("newPasswordLineEdit")->setText(kNext);
    dialog.findChild<QLineEdit*>("confirmPasswordLineEdit")->setText(kNext);
    dialog.findChild<QPushButton*>("okButton")->click();
}

// The password checks, before anything is sent.
struct CheckOutcome
{
    PasswordCheck::Result result = PasswordCheck::Ok;
    PasswordCheck::Field focus = PasswordCheck::NoField;
    bool clears = false, told = false; // told: a message for the user
    MT_TYPED(CheckOutcome, result, focus, clears, told)
};
struct Check
{
    QString oldPassword, newPassword, confirm;
    CheckOutcome expected;
};

} // namespace
Q_DECLARE_METATYPE(PasswordRow)
Q_DECLARE_METATYPE(Check)

class TestAccount : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    QTemporaryDir m_dir;

    std::unique_ptr<LoggedIn> login(const QString& account)
    {
        return std::make_unique<LoggedIn>(m_server, account, kPassword, "test-pc", false);
    }
    // Which passwords the server takes, once the session that changed it is gone.
    PasswordOutcome withLogins(const QString& account, PasswordOutcome got)
    {
        got.loginNew = LoggedIn(m_server, account, kNext, "test-pc", false).error;
        got.loginOld = LoggedIn(m_server, account, kPassword, "test-pc", false).error;
        return got;
    }
private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    }
    // The update set for a download refuses every later login.
    void cleanup()
    {
        m_server.clearFault();
        m_server.setRate(0);
        m_server.clearUpdate();
    }

    void logout_data()
    {
        QTest::addColumn<LogoutRow>("row");
        const LogoutOutcome removed{1, false, 1};
        const QString editor = QStringLiteral("on_myProfileEditButton_clicked");
        const QString logout = QStringLiteral("ProfileEditDialog:logoutButton");
        const QString ok = QStringLiteral("MtMessageDialog:okButton");
        QTest::newRow("from the profile editor")
            << LogoutRow{"user004", editor, {logout, ok}, "removed", removed};
        QTest::newRow("from the settings' own button")
            << LogoutRow{"user005", "on_logoutButton_clicked", {ok}, "removed", removed};
        QTest::newRow("refused in the question")
            << LogoutRow{"user006",
                         editor,
                         {logout, "MtMessageDialog:cancelButton", "ProfileEditDialog:cancelButton"},
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
        const LocalSettings settings(m_dir.filePath("settings.ini"));
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
        QTest::newRow("encoded slash") << QStringList{"https://h/d/..%2F..%2Fevil.exe", "evil.exe"};
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
        const DevUpdate version{1047, {}};
        const DevUpdate chunked{1047, {}, 300000, true, 1000000};
        const DevUpdate plainHttp{1047, "http://localhost:" + QString::number(m_server.restPort()) +
                                            "/download/" + file[0]};
        const QJsonObject off = {{"mode", "off"}};
        const int patient = UpgradeDialog::kStallMsec;
        const Outcome whole{1, 1, 1, file, "%hash"};
        const Outcome failed{0, 1, 1, {}, {}};
        const Outcome refused{0, 1, 0, {}, {}};
        QTest::newRow("whole package") << DownloadRow{version, whole};
        QTest::newRow("chunked without a size, slowly") << DownloadRow{chunked, whole};
        QTest::newRow("HTTP error with a body")
            << DownloadRow{version, failed, DevFault::error("/download", 500).toJson()};
        QTest::newRow("stalls after the first bytes")
            << DownloadRow{version, failed, DevFault::stall("/download", 1000).toJson(), 500};
        QTest::newRow("no answer at all")
            << DownloadRow{version, failed, DevFault::hang("/download").toJson(), 500};
        QTest::newRow("disk full midway") << DownloadRow{version, failed, off, patient, 20000};
        QTest::newRow("server not trusted without the organisation's CA")
            << DownloadRow{version, refused, off, patient, RLIM_INFINITY, QString()};
        QTest::newRow("plain http link refused before any request")
            << DownloadRow{plainHttp, refused};
    }
    void download()
    {
        QFETCH(DownloadRow, row);
        QDir(FileManager::cacheFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
        const QString link = m_server.setUpdate(row.update).value_or(QString());
        QVERIFY(!link.isEmpty());
        QProcess served;
        served.start("curl", {"-sSf", "--cacert", m_server.caFile(), link});
        QVERIFY(served.waitForFinished());
        QVERIFY(m_server.setFault(row.fault));
        const qint64 since = m_server.lastRequestSeq();

        BoxAnswerer answerer;
        UpgradeDialog dialog(link, row.caFile.replace("%ca", m_server.caFile()));
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
        row.expected.fileHash.replace("%hash", sha(served.readAllStandardOutput()));
        QCOMPARE(got, row.expected);
    }

    void passwordChecks_data()
    {
        QTest::addColumn<Check>("row");
        using P = PasswordCheck;
        const CheckOutcome ok{P::Ok, P::NoField, false, false};
        const CheckOutcome badLength{P::BadLength, P::NewField, true, true};
        const QString a9("abcdefghi");
        const QString emoji20 = QString::fromUtf8("😀").repeated(20);
        QTest::newRow("all empty names the old field")
            << Check{"", "", "", {P::OldEmpty, P::OldField, false, true}};
        QTest::newRow("confirmation empty")
            << Check{kPassword, a9, "", {P::ConfirmEmpty, P::ConfirmField, false, true}};
        QTest::newRow("8 characters") << Check{kPassword, "abcdefgh", "abcdefgh", badLength};
        QTest::newRow("21 characters")
            << Check{kPassword, QString(21, 'a'), QString(21, 'a'), badLength};
        QTest::newRow("9 characters") << Check{kPassword, a9, a9, ok};
        QTest::newRow("20 emoji are 20 characters") << Check{kPassword, emoji20, emoji20, ok};
        QTest::newRow("wrong old password before the mismatch")
            << Check{"Passw0rd?", a9, "abcdefghj", {P::WrongOld, P::OldField, false, true}};
        QTest::newRow("mismatch") << Check{
            kPassword, a9, "abcdefghj", {P::Mismatch, P::NewField, false, true}};
        QTest::newRow("length before the old password")
            << Check{"Passw0rd?", "short", "short", badLength};
    }
    void passwordChecks()
    {
        QFETCH(Check, row);
        const PasswordCheck::Result result = PasswordCheck::check(
            row.oldPassword, row.newPassword, row.confirm, DBMTData::passwordDigest(kPassword));
        QCOMPARE((CheckOutcome{result, PasswordCheck::focusField(result),
                               PasswordCheck::clearsNewFields(result),
                               !PasswordCheck::message(result).isEmpty()}),
                 row.expected);
    }

    // A refusal is shown as plain text; the stored digest follows what the server decided.
    void passwordChange_data()
    {
        QTest::addColumn<PasswordRow>("row");
        PasswordOutcome refused = kKept, wrongOld = kKept;
        refused.boxes = QStringList{"<b>Refused</b> today"};
        wrongOld.boxes = QStringList{PasswordCheck::message(PasswordCheck::WrongOld)};
        const QStringList ok{QStringLiteral("MtMessageDialog:okButton")};
        QTest::newRow("accepted") << PasswordRow{"user008", kPassword, {}, kChanged};
        QTest::newRow("refused by the server")
            << PasswordRow{"user010", kPassword, ok, refused, refusal("<b>Refused</b> today")};
        QTest::newRow("wrong current password, refused before sending")
            << PasswordRow{"user007", "Passw0rd?", ok, wrongOld};
    }
    void passwordChange()
    {
        QFETCH(PasswordRow, row);
        PasswordOutcome got;
        {
            const auto user = login(row.account);
            QVERIFY(user->ok);
            QVERIFY(m_server.setFault(row.fault));
            ChangePasswordDialog dialog(user->session.get());
            QSignalSpy finished(&dialog, &QDialog::finished);
            ModalScript script(row.steps);
            submit(dialog, row.oldPassword);
            // Sentinel: the dialog closing, or the server's refusal answered in a box.
            QVERIFY(waitUntil([&] {
                return !finished.isEmpty() ||
                       (!script.boxTexts.isEmpty() && !QApplication::activeModalWidget());
            }));
            got = {dialog.result(), script.boxTexts, DBMTData(user->db()).myPassword()};
        }
        QCOMPARE(withLogins(row.account, got), row.expected);
    }

    // Closed before the answer came: the digest still follows the server, and no box comes up.
    void closedWhileSent_data()
    {
        QTest::addColumn<PasswordRow>("row");
        PasswordOutcome changed = kChanged, kept = kKept;
        changed.result = kept.result = 0;
        QTest::newRow("accepted") << PasswordRow{"user011", kPassword, {}, changed};
        QTest::newRow("refused") << PasswordRow{
            "user012", kPassword, {}, kept, refusal("Refused today")};
    }
    void closedWhileSent()
    {
        QFETCH(PasswordRow, row);
        PasswordOutcome got;
        {
            const auto user = login(row.account);
            QVERIFY(user->ok);
            QVERIFY(m_server.setFault(row.fault));
            // A few bytes a second: the answer is decided at once and arrives seconds later.
            QVERIFY(m_server.setRate(16, QStringLiteral("/rest/user/password")));
            const qint64 since = m_server.lastRequestSeq();
            const BoxAnswerer answerer;
            QPointer<ChangePasswordRequest> request;
            {
                ChangePasswordDialog dialog(user->session.get());
                submit(dialog, row.oldPassword);
                request = user->session->findChild<ChangePasswordRequest*>();
                QVERIFY(request);
                QVERIFY(waitUntil([&] {
                    const QJsonArray sent = m_server.requests("/rest/user/password", since);
                    return sent.size() == 1 && !sent.at(0)["status"].isNull();
                }));
                dialog.findChild<QPushButton*>("exitPushButton")->click();
            }
            // Sentinel: the answer has been handled and the request is gone.
            QVERIFY(waitUntil([&] { return request.isNull(); }));
            got = {0, answerer.texts, DBMTData(user->db()).myPassword()};
        }
        QCOMPARE(withLogins(row.account, got), row.expected);
    }

    // An answer that leaves out the picture columns keeps the stored ones.
    void answerWithoutColumns()
    {
        const QJsonObject columns{
            {"email", "choi@example.org"}, {"deptName", "Support"}, {"chattingAllowYn", "0"}};
        QVERIFY(m_server.control("PUT", "/control/user/1005", columns).isObject());
        const auto user = login("user005");
        QVERIFY(user->ok);
        const Profile before = profileOf(*user, 1005);
        DevFault answer = DevFault::body("/rest/user", R"({"status":200,"userName":"Choi"})");
        answer.method = "PUT";
        QVERIFY(m_server.fail(answer));
        ProfileEditDialog dialog(user->session.get());
        QSignalSpy updated(&dialog, &ProfileEditDialog::updateMyProfileImage);
        dialog.show();
        dialog.findChild<QLineEdit*>("nameLineEdit")->setText("Choi");
        dialog.findChild<QPushButton*>("okButton")->click();
        QVERIFY(waitUntil([&] { return !updated.isEmpty(); }));
        QCOMPARE(profileOf(*user, 1005), (Profile{"Choi", before.thumbUrl, before.imageUrl,
                                                  "choi@example.org", "Support", false}));
        QCOMPARE(user->session->mtData()->thumbUrl(), before.thumbUrl);
    }
};

QTEST_MAIN(TestAccount)
#include "tst_account.moc"
