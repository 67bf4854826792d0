// The password change and the profile editor against the reference server over real TLS.
#include "accountfixture.h"

#include "account/changepassworddialog.h"
#include "account/profileeditdialog.h"
#include "account/profileimageview.h"
#include "common/testenv.h"
#include "store/dbmtdata.h"
#include "store/mtdata.h"

#include <QMouseEvent>
#include <QPointer>
#include <QTemporaryDir>

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

// What the form keeps of a refused password change.
struct FormAfter
{
    int boxes = 0;
    QString focus, newText, confirmText;
    bool open = false;
    int sent = 0;
    MT_TYPED(FormAfter, boxes, focus, newText, confirmText, open, sent)
};
struct Refusal
{
    QString oldPassword, newPassword, confirm;
    FormAfter expected;
};

// After a password change; the logins' and unlock's error codes (0: accepted).
struct PasswordOutcome
{
    int result = -1;
    QStringList boxes;
    QString storedDigest;
    int unlockNew = -1;
    int loginNew = -1;
    int loginOld = -1;
    MT_TYPED(PasswordOutcome, result, boxes, storedDigest, unlockNew, loginNew, loginOld)
};
struct PasswordRow
{
    QString account;
    QJsonObject fault;
    QStringList steps;
    PasswordOutcome expected;
};
const PasswordOutcome kChanged{QDialog::Accepted, {}, DBMTData::passwordDigest(kNext), 0, 0, 40101};
const PasswordOutcome kKept{
    QDialog::Rejected, {}, DBMTData::passwordDigest(kPassword), 40101, 40101, 0};

// A directory user as one side has it.
struct Profile
{
    QString name, thumbUrl, imageUrl, email, dept;
    bool chattAllow = false;
    MT_TYPED(Profile, name, thumbUrl, imageUrl, email, dept, chattAllow)
};

// The editor after a picture upload that went wrong, or an OK that sent nothing.
struct EditorView
{
    QStringList boxes;
    bool okEnabled = false;
    bool uploaded = false; // a picture key to send
    bool open = false;
    int profileUpdates = 0;
    MT_TYPED(EditorView, boxes, okEnabled, uploaded, open, profileUpdates)
};

Profile profileOf(const DBUser& u)
{
    return {u.userName(), u.thumbUrl(), u.imageUrl(), u.email(), u.deptName(), u.chattAllow()};
}

Profile profileOf(const QJsonObject& u)
{
    return {u["userName"].toString(), u["thumbUrl"].toString(),
            u["imageUrl"].toString(), u["email"].toString(),
            u["deptName"].toString(), u["chattingAllowYn"].toString() == QLatin1String("1")};
}
Profile serverProfile(DevServer& server, int userId)
{
    return profileOf(server.control("GET", "/control/users/" + QString::number(userId)).toObject());
}
bool setUser(DevServer& server, int userId, const QJsonObject& columns)
{
    return server.control("PUT", "/control/user/" + QString::number(userId), columns).isObject();
}

template <typename T = QLineEdit>
T* child(QDialog& dialog, const char* name)
{
    return dialog.findChild<T*>(QLatin1String(name));
}

void fillPasswords(QDialog& dialog, const QString& old, const QString& next, const QString& again)
{
    child(dialog, "oldPasswordLineEdit")->setText(old);
    child(dialog, "newPasswordLineEdit")->setText(next);
    child(dialog, "confirmPasswordLineEdit")->setText(again);
}

// Every column and row its own colour, so that a cut shows where it came from.
QImage patterned(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 64 + (y / 256) * 16));
    return image;
}

QString focusName(QDialog& dialog)
{
    return dialog.focusWidget() ? dialog.focusWidget()->objectName() : QString();
}

QStringList shownBoxes()
{
    QStringList texts;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<MtMessageDialog*>(widget);
        texts << (box && box->isVisible() ? box->text() : QString());
    }
    texts.removeAll(QString());
    return texts;
}
} // namespace
Q_DECLARE_METATYPE(Refusal)
Q_DECLARE_METATYPE(PasswordRow)

class TestProfileEdit : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    QTemporaryDir m_dir;
    QString m_picture;

    std::unique_ptr<LoggedIn> login(const QString& account)
    {
        return std::make_unique<LoggedIn>(m_server, account, kPassword, "test-pc", false);
    }
    int loginError(const QString& account, const QString& password)
    {
        return LoggedIn(m_server, account, password, QStringLiteral("test-pc"), false).error;
    }
    // Which passwords the server takes, once the session that changed it is gone.
    PasswordOutcome withLogins(const QString& account, PasswordOutcome got)
    {
        got.loginNew = loginError(account, kNext);
        got.loginOld = loginError(account, kPassword);
        return got;
    }
    // Once a ping of the session is answered, whatever the dialog sent before has arrived.
    static bool pinged(LoggedIn& user)
    {
        QSignalSpy answered(user.session->net(), &NetServerManager::onHttpSuccess);
        user.session->ping();
        return waitUntil([&] { return !answered.isEmpty(); });
    }
    int profileUpdates(qint64 since)
    {
        return int(m_server.requestsOf("test-pc", since).count({"PUT", "/rest/user"}));
    }
    EditorView editorView(ProfileEditDialog& dialog, const ModalScript& script, qint64 since)
    {
        return {script.boxTexts(), child<QPushButton>(dialog, "okButton")->isEnabled(),
                !dialog.fileKey().isEmpty(), dialog.isVisible(), profileUpdates(since)};
    }
    // The editor with a new picture uploaded (or its upload failed).
    bool pictureUploaded(ProfileEditDialog& dialog)
    {
        return dialog.usePictureFile(m_picture) && waitUntil([&] { return !dialog.isUploading(); });
    }

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_picture = m_dir.filePath("picture.png");
        QVERIFY(patterned(QSize(400, 200)).save(m_picture));
    }
    void cleanup()
    {
        m_server.clearFault();
        m_server.setRate(0);
    }

    // The checks are tst_accountrules'; here the form follows them and sends nothing.
    void passwordRefusals_data()
    {
        QTest::addColumn<Refusal>("row");
        QTest::newRow("confirmation empty") << Refusal{
            kPassword, "abcdefghi", "", {1, "confirmPasswordLineEdit", "abcdefghi", "", true, 0}};
        QTest::newRow("too short clears both new fields") << Refusal{
            kPassword, "abcdefgh", "abcdefgh", {1, "newPasswordLineEdit", "", "", true, 0}};
        QTest::newRow("wrong current password")
            << Refusal{"Passw0rd?",
                       "abcdefghi",
                       "abcdefghj",
                       {1, "oldPasswordLineEdit", "abcdefghi", "abcdefghj", true, 0}};
    }
    void passwordRefusals()
    {
        QFETCH(Refusal, row);
        const auto user = login("user007");
        QVERIFY(user->ok);
        ChangePasswordDialog dialog(user->session.get());
        dialog.show();
        fillPasswords(dialog, row.oldPassword, row.newPassword, row.confirm);
        const qint64 since = m_server.lastRequestSeq();
        ModalScript script({"MtMessageDialog:okButton"});
        child<QPushButton>(dialog, "okButton")->click();
        QVERIFY(pinged(*user));
        QCOMPARE((FormAfter{int(script.boxTexts().size()), focusName(dialog),
                            child(dialog, "newPasswordLineEdit")->text(),
                            child(dialog, "confirmPasswordLineEdit")->text(), dialog.isVisible(),
                            int(m_server.requests("/rest/user/password", since).size())}),
                 row.expected);
    }

    // A refusal is shown as plain text; the stored digest follows what the server decided.
    void passwordChange_data()
    {
        QTest::addColumn<PasswordRow>("row");
        PasswordOutcome refused = kKept;
        refused.boxes = QStringList{"<b>Refused</b> today"};
        QTest::newRow("accepted") << PasswordRow{"user008", kAccept, {}, kChanged};
        QTest::newRow("refused by the server") << PasswordRow{
            "user010", refusal("<b>Refused</b> today"), {"MtMessageDialog:okButton"}, refused};
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
            dialog.show();
            fillPasswords(dialog, kPassword, kNext, kNext);
            ModalScript script(row.steps);
            child<QPushButton>(dialog, "okButton")->click();
            // Sentinel: the dialog closing, or the server's refusal answered in a box.
            QVERIFY(waitUntil([&] {
                return !finished.isEmpty() ||
                       (!script.boxTexts().isEmpty() && !QApplication::activeModalWidget());
            }));
            m_server.clearFault();
            got = {dialog.result(), script.boxTexts(), DBMTData(user->db()).myPassword(),
                   unlockError(*user->session, kNext)};
        }
        QCOMPARE(withLogins(row.account, got), row.expected);
    }

    // Closed before the answer came: the digest still follows the server, and nothing pops up.
    void closedWhileSent_data()
    {
        QTest::addColumn<PasswordRow>("row");
        PasswordOutcome changed = kChanged;
        PasswordOutcome kept = kKept;
        changed.result = kept.result = 0;
        QTest::newRow("accepted") << PasswordRow{"user011", kAccept, {}, changed};
        QTest::newRow("refused") << PasswordRow{"user012", refusal("Refused today"), {}, kept};
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
            QVERIFY(m_server.setRate(4, QStringLiteral("/rest/user/password")));
            const qint64 since = m_server.lastRequestSeq();
            QPointer<ChangePasswordRequest> request;
            {
                ChangePasswordDialog dialog(user->session.get());
                dialog.show();
                fillPasswords(dialog, kPassword, kNext, kNext);
                child<QPushButton>(dialog, "okButton")->click();
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
            got = {0, shownBoxes(), DBMTData(user->db()).myPassword(),
                   unlockError(*user->session, kNext)};
        }
        m_server.clearFault();
        QCOMPARE(withLogins(row.account, got), row.expected);
    }

    void profileRoundTrip()
    {
        const QString name("<b>Kim</b> & New");
        QVERIFY(setUser(
            m_server, 1001,
            {{"chattingAllowYn", "0"}, {"email", "kim@example.org"}, {"deptName", "Sales"}}));
        Profile own;
        Profile session;
        QVariantList announced;
        {
            const auto user = login("user001");
            QVERIFY(user->ok);
            ProfileEditDialog dialog(user->session.get());
            QSignalSpy updated(&dialog, &ProfileEditDialog::updateMyProfileImage);
            dialog.show();
            const qint64 since = m_server.lastRequestSeq();
            ModalScript script({"ProfileImageEditDialog:okButton"});
            QVERIFY(dialog.usePictureFile(m_picture));
            // While the picture is on its way OK cannot close the dialog.
            QVERIFY(dialog.isUploading());
            QVERIFY(!child<QPushButton>(dialog, "okButton")->isEnabled());
            QVERIFY(waitUntil([&] { return !dialog.isUploading(); }));
            QCOMPARE(profileUpdates(since), 0);
            child(dialog, "nameLineEdit")->setText(name);
            child<QPushButton>(dialog, "okButton")->click();
            QVERIFY(waitUntil([&] { return !updated.isEmpty(); }));
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            announced = updated.first();
            own = profileOf(dbUser(*user, 1001));
            const MTData* data = user->session->mtData();
            session = Profile{data->userName(), data->thumbUrl(), data->imageUrl(),
                              own.email,        own.dept,         own.chattAllow};
        }
        const Profile server = serverProfile(m_server, 1001);
        // Another member sees it at the next directory refresh: here a fresh login.
        const auto other = login("user002");
        QVERIFY(other->ok);
        QVERIFY(server.thumbUrl.startsWith("/files/"));
        QCOMPARE(server, (Profile{name, server.thumbUrl, server.imageUrl, "kim@example.org",
                                  "Sales", false}));
        QCOMPARE(own, server);
        QCOMPARE(session, server);
        QCOMPARE(announced, (QVariantList{name, server.thumbUrl}));
        QCOMPARE(profileOf(dbUser(*other, 1001)), server);
    }

    void uploadFailure()
    {
        const auto user = login("user003");
        QVERIFY(user->ok);
        QVERIFY(m_server.fail(DevFault::error("/rest/file", 500, 50000)));
        ProfileEditDialog dialog(user->session.get());
        dialog.show();
        const qint64 since = m_server.lastRequestSeq();
        ModalScript script({"ProfileImageEditDialog:okButton", "MtMessageDialog:okButton"});
        QVERIFY(dialog.usePictureFile(m_picture));
        QVERIFY(waitUntil([&] { return script.finished() && !QApplication::activeModalWidget(); }));
        QVERIFY(pinged(*user));
        QCOMPARE(editorView(dialog, script, since),
                 (EditorView{{"The server failed on purpose."}, true, false, true, 0}));
    }

    // OK without a change closes; a blank name stays on its field; neither sends an update.
    void okWithoutChangeAndEmptyName()
    {
        const auto user = login("user004");
        QVERIFY(user->ok);
        const qint64 since = m_server.lastRequestSeq();
        ProfileEditDialog unchanged(user->session.get());
        unchanged.show();
        child<QPushButton>(unchanged, "okButton")->click();
        ProfileEditDialog blank(user->session.get());
        blank.show();
        ModalScript script({"ProfileImageEditDialog:okButton"});
        QVERIFY(pictureUploaded(blank));
        child(blank, "nameLineEdit")->setText("   ");
        child<QPushButton>(blank, "okButton")->click();
        QVERIFY(pinged(*user));
        QCOMPARE(unchanged.result(), int(QDialog::Accepted));
        QCOMPARE(editorView(blank, script, since), (EditorView{{}, true, true, true, 0}));
        QCOMPARE(focusName(blank), QStringLiteral("nameLineEdit"));
    }

    // An answer that leaves out the picture columns keeps the stored ones.
    void answerWithoutColumns()
    {
        QVERIFY(setUser(
            m_server, 1005,
            {{"email", "choi@example.org"}, {"deptName", "Support"}, {"chattingAllowYn", "0"}}));
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

    // The geometry is tst_accountrules'; here the drag reaches it and the cut is what shows.
    void pictureCutter_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QPoint>("drag");
        QTest::addColumn<QPoint>("offset");
        QTest::newRow("wide picture dragged left")
            << QSize(400, 200) << QPoint(-60, 30) << QPoint(-60, 0);
        QTest::newRow("tall picture dragged up")
            << QSize(200, 500) << QPoint(20, -90) << QPoint(0, -90);
    }
    void pictureCutter()
    {
        QFETCH(QSize, picture);
        QFETCH(QPoint, drag);
        QFETCH(QPoint, offset);
        ProfileImageView view;
        view.resize(100, 100);
        view.setPicture(QPixmap::fromImage(patterned(picture)));
        view.show();
        const QPoint start(50, 50);
        QTest::mousePress(&view, Qt::LeftButton, {}, start);
        // QTest::mouseMove only moves the cursor, which the offscreen platform does not report.
        QMouseEvent move(QEvent::MouseMove, start + drag, Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&view, &move);
        QTest::mouseRelease(&view, Qt::LeftButton, {}, start + drag);
        const QImage scaled = view.picture()
                                  .scaled(view.geometry().scaledSize(), Qt::IgnoreAspectRatio,
                                          Qt::SmoothTransformation)
                                  .toImage();
        QCOMPARE(view.geometry().offset(), offset);
        QCOMPARE(view.selectedPicture().toImage(), scaled.copy(QRect(-offset, QSize(100, 100))));
    }

    // Removed after the question: server, own store and session drop it; the editor stays.
    void removePicture()
    {
        QVERIFY(setUser(m_server, 1009, {{"picture", true}, {"chattingAllowYn", "0"}}));
        const auto user = login("user009");
        QVERIFY(user->ok);
        const Profile before = profileOf(dbUser(*user, 1009));
        QVERIFY(!before.thumbUrl.isEmpty());
        ProfileEditDialog dialog(user->session.get());
        QSignalSpy updated(&dialog, &ProfileEditDialog::updateMyProfileImage);
        dialog.show();
        ModalScript script({"MtMessageDialog:okButton"});
        dialog.removePicture();
        QVERIFY(waitUntil([&] { return !updated.isEmpty(); }));
        const Profile server = serverProfile(m_server, 1009);
        const Profile removed{before.name, {}, server.imageUrl, before.email, before.dept, false};
        QCOMPARE(server, removed);
        QCOMPARE(profileOf(dbUser(*user, 1009)), removed);
        QCOMPARE((QVariantList{script.boxTexts().size(), updated.first().at(1),
                               user->session->mtData()->thumbUrl(), dialog.isVisible()}),
                 (QVariantList{1, "", "", true}));
    }
};

QTEST_MAIN(TestProfileEdit)
#include "tst_profileedit.moc"
