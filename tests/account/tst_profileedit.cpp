#include "accountfixture.h"
#include "common/boxanswerer.h"

#include "account/changepassworddialog.h"
#include "account/passwordcheck.h"
#include "account/profileeditdialog.h"
#include "common/testenv.h"
#include "store/dbmtdata.h"
#include "store/mtdata.h"

namespace {
const QString kPassword = LoggedIn::kPassword;
const QString kNext = QStringLiteral("N3w-Passw0rd");
const QJsonObject kAccept{{"mode", "off"}};
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
    QJsonObject fault;
    QStringList steps;
    PasswordOutcome expected;
};
const PasswordOutcome kChanged{QDialog::Accepted, {}, DBMTData::passwordDigest(kNext), 0, 40101};
const PasswordOutcome kKept{QDialog::Rejected, {}, DBMTData::passwordDigest(kPassword), 40101, 0};

struct Profile
{
    QString name, thumbUrl, imageUrl, email, dept;
    bool chattAllow = false;
    MT_TYPED(Profile, name, thumbUrl, imageUrl, email, dept, chattAllow)
};

Profile profileOf(const DBUser& u)
{
    return {u.userName(), u.thumbUrl(), u.imageUrl(), u.email(), u.deptName(), u.chattAllow()};
}

template <typename T = QLineEdit>
T* child(QDialog& dialog, const char* name)
{
    return dialog.findChild<T*>(QLatin1String(name));
}

// Shown, the next password asked for after `old`, and sent.
void submit(QDialog& dialog, const QString& old)
{
    dialog.show();
    child(dialog, "oldPasswordLineEdit")->setText(old);
    child(dialog, "newPasswordLineEdit")->setText(kNext);
    child(dialog, "confirmPasswordLineEdit")->setText(kNext);
    child<QPushButton>(dialog, "okButton")->click();
}

// The password checks, before anything is sent.
struct CheckOutcome
{
    PasswordCheck::Result result = PasswordCheck::Ok;
    PasswordCheck::Field focus = PasswordCheck::NoField;
    bool clears = false;
    bool told = false; // a message for the user
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

class TestProfileEdit : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;

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
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    }
    void cleanup()
    {
        m_server.clearFault();
        m_server.setRate(0);
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
        QTest::newRow("accepted") << PasswordRow{"user008", kPassword, kAccept, {}, kChanged};
        QTest::newRow("refused by the server") << PasswordRow{"user010",
                                                              kPassword,
                                                              refusal("<b>Refused</b> today"),
                                                              {"MtMessageDialog:okButton"},
                                                              refused};
        QTest::newRow("wrong current password, refused before sending")
            << PasswordRow{"user007", "Passw0rd?", kAccept, {"MtMessageDialog:okButton"}, wrongOld};
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
                       (!script.boxTexts().isEmpty() && !QApplication::activeModalWidget());
            }));
            m_server.clearFault();
            got = {dialog.result(), script.boxTexts(), DBMTData(user->db()).myPassword()};
        }
        QCOMPARE(withLogins(row.account, got), row.expected);
    }

    // Closed before the answer came: the digest still follows the server, and no box comes up.
    void closedWhileSent_data()
    {
        QTest::addColumn<PasswordRow>("row");
        PasswordOutcome changed = kChanged;
        PasswordOutcome kept = kKept;
        changed.result = kept.result = 0;
        QTest::newRow("accepted") << PasswordRow{"user011", kPassword, kAccept, {}, changed};
        QTest::newRow("refused") << PasswordRow{
            "user012", kPassword, refusal("Refused today"), {}, kept};
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
                child<QPushButton>(dialog, "exitPushButton")->click();
            }
            // Sentinel: the answer has been handled and the request is gone.
            QVERIFY(waitUntil([&] { return request.isNull(); }));
            m_server.setRate(0);
            got = {0, answerer.texts, DBMTData(user->db()).myPassword()};
        }
        m_server.clearFault();
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
        const Profile before = profileOf(dbUser(*user, 1005));
        DevFault answer = DevFault::body("/rest/user", R"({"status":200,"userName":"Choi"})");
        answer.method = "PUT";
        QVERIFY(m_server.fail(answer));
        ProfileEditDialog dialog(user->session.get());
        QSignalSpy updated(&dialog, &ProfileEditDialog::updateMyProfileImage);
        dialog.show();
        child(dialog, "nameLineEdit")->setText("Choi");
        child<QPushButton>(dialog, "okButton")->click();
        QVERIFY(waitUntil([&] { return !updated.isEmpty(); }));
        QCOMPARE(profileOf(dbUser(*user, 1005)), (Profile{"Choi", before.thumbUrl, before.imageUrl,
                                                          "choi@example.org", "Support", false}));
        QCOMPARE(user->session->mtData()->thumbUrl(), before.thumbUrl);
    }
};

QTEST_MAIN(TestProfileEdit)
#include "tst_profileedit.moc"
