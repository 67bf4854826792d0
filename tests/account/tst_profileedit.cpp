// The password change and the profile editor over a logged-in session against the reference
// server over real TLS: refusals before anything is sent, a new password that works at the next
// login and unlock, a server refusal, and the name and picture that reach the server, the own
// store and, at its next directory refresh, another member's store.
#include "accountfixture.h"

#include "account/changepassworddialog.h"
#include "account/profileeditdialog.h"
#include "account/profileimageview.h"
#include "common/testenv.h"
#include "store/dbmtdata.h"
#include "store/mtdata.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>

// What a refused password change leaves in the form.
struct Refusal
{
    QStringList boxes;
    QString focus;
    QString newText;
    QString confirmText;
    bool open = false;
    bool operator==(const Refusal& o) const
    {
        return boxes == o.boxes && focus == o.focus && newText == o.newText &&
               confirmText == o.confirmText && open == o.open;
    }
};

// After a password change: what the dialog did, what the session keeps, and which passwords
// the server takes (0: accepted, else the error code).
struct PasswordOutcome
{
    int result = -1;
    QStringList boxes;
    QString storedDigest;
    int unlockNew = -1;
    int loginNew = -1;
    int loginOld = -1;
    bool operator==(const PasswordOutcome& o) const
    {
        return result == o.result && boxes == o.boxes && storedDigest == o.storedDigest &&
               unlockNew == o.unlockNew && loginNew == o.loginNew && loginOld == o.loginOld;
    }
};

// A directory user as one side has it.
struct Profile
{
    QString name;
    QString thumbUrl;
    QString imageUrl;
    QString email;
    QString dept;
    bool chattAllow = false;
    bool operator==(const Profile& o) const
    {
        return name == o.name && thumbUrl == o.thumbUrl && imageUrl == o.imageUrl &&
               email == o.email && dept == o.dept && chattAllow == o.chattAllow;
    }
};

// The editor after a picture upload that went wrong.
struct UploadOutcome
{
    QStringList boxes;
    bool okEnabled = false;
    QString fileKey;
    bool open = false;
    int profileUpdates = 0;
    bool operator==(const UploadOutcome& o) const
    {
        return boxes == o.boxes && okEnabled == o.okEnabled && fileKey == o.fileKey &&
               open == o.open && profileUpdates == o.profileUpdates;
    }
};
Q_DECLARE_METATYPE(Refusal)
Q_DECLARE_METATYPE(PasswordOutcome)

namespace QTest {
template <>
char* toString(const Refusal& r)
{
    return qstrdup(
        qPrintable(QStringLiteral("boxes=[%1] focus=%2 new=%3 confirm=%4 open=%5")
                       .arg(r.boxes.join(QStringLiteral(" | ")), r.focus, r.newText, r.confirmText)
                       .arg(r.open)));
}
template <>
char* toString(const PasswordOutcome& o)
{
    return qstrdup(qPrintable(QStringLiteral("result=%1 boxes=[%2] digest=%3 unlockNew=%4 "
                                             "loginNew=%5 loginOld=%6")
                                  .arg(o.result)
                                  .arg(o.boxes.join(QStringLiteral(" | ")), o.storedDigest)
                                  .arg(o.unlockNew)
                                  .arg(o.loginNew)
                                  .arg(o.loginOld)));
}
template <>
char* toString(const Profile& p)
{
    return qstrdup(qPrintable(QStringLiteral("name=%1 thumb=%2 image=%3 email=%4 dept=%5 "
                                             "chattAllow=%6")
                                  .arg(p.name, p.thumbUrl, p.imageUrl, p.email, p.dept)
                                  .arg(p.chattAllow)));
}
template <>
char* toString(const UploadOutcome& o)
{
    return qstrdup(qPrintable(QStringLiteral("boxes=[%1] ok=%2 fileKey=%3 open=%4 updates=%5")
                                  .arg(o.boxes.join(QStringLiteral(" | ")))
                                  .arg(o.okEnabled)
                                  .arg(o.fileKey)
                                  .arg(o.open)
                                  .arg(o.profileUpdates)));
}
} // namespace QTest

namespace {
const QString kPassword = QStringLiteral("Passw0rd!");

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

void setText(QDialog& dialog, const char* edit, const QString& text)
{
    dialog.findChild<QLineEdit*>(edit)->setText(text);
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
} // namespace

class TestProfileEdit : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    ServerConfig m_config;
    QTemporaryDir m_dir;

    // Waits until the server answered a ping of the session: whatever the dialog sent before
    // has arrived by then.
    static bool pinged(LoggedIn& user)
    {
        QSignalSpy answered(user.session->net(), &NetServerManager::onHttpSuccess);
        user.session->ping();
        return waitUntil([&] { return !answered.isEmpty(); });
    }
    int profileUpdates(qint64 since)
    {
        int count = 0;
        for (const QJsonValue& r : m_server.requests("/rest/user", since))
            count += r["method"].toString() == QLatin1String("PUT") &&
                             r["path"].toString() == QLatin1String("/rest/user")
                         ? 1
                         : 0;
        return count;
    }
    // A picture file wider than high with a gradient, so its cut can be told apart.
    QString pictureFile()
    {
        QImage image(400, 200, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, 400, 0);
        gradient.setColorAt(0, Qt::red);
        gradient.setColorAt(1, Qt::blue);
        painter.fillRect(image.rect(), gradient);
        painter.end();
        const QString path = m_dir.filePath("picture.png");
        image.save(path);
        return path;
    }

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_config = ServerConfig::fromFile(m_server.clientIni());
    }
    void cleanup() { m_server.clearFault(); }

    void passwordRefusals_data()
    {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<Refusal>("expected");
        const QString empty("The password is empty.");
        QTest::newRow("all empty") << ""
                                   << ""
                                   << "" << Refusal{{empty}, "oldPasswordLineEdit", "", "", true};
        QTest::newRow("confirmation empty")
            << kPassword << "abcdefghi"
            << "" << Refusal{{empty}, "confirmPasswordLineEdit", "abcdefghi", "", true};
        QTest::newRow("too short clears both new fields")
            << kPassword << "abcdefgh"
            << "abcdefgh"
            << Refusal{{"The password must be between 9 and 20 characters"},
                       "newPasswordLineEdit",
                       "",
                       "",
                       true};
        QTest::newRow("wrong current password") << "Passw0rd?"
                                                << "abcdefghi"
                                                << "abcdefghj"
                                                << Refusal{{"Current password is wrong."},
                                                           "oldPasswordLineEdit",
                                                           "abcdefghi",
                                                           "abcdefghj",
                                                           true};
        QTest::newRow("confirmation differs")
            << kPassword << "abcdefghi"
            << "abcdefghj"
            << Refusal{{"The new password is not match with the confirm new passowrd."},
                       "newPasswordLineEdit",
                       "abcdefghi",
                       "abcdefghj",
                       true};
    }
    void passwordRefusals()
    {
        QFETCH(QString, oldPassword);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirm);
        QFETCH(Refusal, expected);
        LoggedIn user(m_config, "user007", kPassword);
        QVERIFY(user.ok);
        ChangePasswordDialog dialog(user.session.get());
        dialog.show();
        setText(dialog, "oldPasswordLineEdit", oldPassword);
        setText(dialog, "newPasswordLineEdit", newPassword);
        setText(dialog, "confirmPasswordLineEdit", confirm);
        const qint64 since = m_server.lastRequestSeq();
        ModalScript script({"MtMessageDialog:okButton"});
        dialog.findChild<QPushButton*>("okButton")->click();
        QVERIFY(pinged(user));
        const Refusal got{script.boxTexts(), focusName(dialog),
                          dialog.findChild<QLineEdit*>("newPasswordLineEdit")->text(),
                          dialog.findChild<QLineEdit*>("confirmPasswordLineEdit")->text(),
                          dialog.isVisible()};
        QCOMPARE(got, expected);
        QCOMPARE(m_server.requests("/rest/user/password", since).size(), 0);
    }

    void passwordChange_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<PasswordOutcome>("expected");
        const QString next("N3w-Passw0rd");
        QTest::newRow("accepted")
            << "user008" << QJsonObject{{"mode", "off"}} << QStringList()
            << PasswordOutcome{QDialog::Accepted, {}, DBMTData::passwordDigest(next), 0, 0, 40101};
        QTest::newRow("refused by the server")
            << "user010"
            << QJsonObject{{"mode", "error"},
                           {"path", "/rest/user/password"},
                           {"status", 400},
                           {"code", 40103},
                           {"message", "<b>Refused</b> today"}}
            << QStringList{"MtMessageDialog:okButton"}
            << PasswordOutcome{QDialog::Rejected,
                               {"<b>Refused</b> today"},
                               DBMTData::passwordDigest(kPassword),
                               40101,
                               40101,
                               0};
    }
    void passwordChange()
    {
        QFETCH(QString, account);
        QFETCH(QJsonObject, fault);
        QFETCH(QStringList, steps);
        QFETCH(PasswordOutcome, expected);
        const QString next("N3w-Passw0rd");
        PasswordOutcome got;
        {
            LoggedIn user(m_config, account, kPassword);
            QVERIFY(user.ok);
            QVERIFY(m_server.setFault(fault));
            ChangePasswordDialog dialog(user.session.get());
            QSignalSpy finished(&dialog, &QDialog::finished);
            dialog.show();
            setText(dialog, "oldPasswordLineEdit", kPassword);
            setText(dialog, "newPasswordLineEdit", next);
            setText(dialog, "confirmPasswordLineEdit", next);
            ModalScript script(steps);
            dialog.findChild<QPushButton*>("okButton")->click();
            // Sentinel: the dialog closing, or the server's refusal answered in a box.
            QVERIFY(waitUntil([&] {
                return !finished.isEmpty() ||
                       (!script.boxTexts().isEmpty() && !QApplication::activeModalWidget());
            }));
            m_server.clearFault();
            got.result = dialog.result();
            got.boxes = script.boxTexts();
            got.storedDigest = DBMTData(user.session->db()).myPassword();
            got.unlockNew = unlockError(*user.session, next);
        }
        got.loginNew = loginError(m_config, account, next);
        got.loginOld = loginError(m_config, account, kPassword);
        QCOMPARE(got, expected);
    }

    void profileRoundTrip()
    {
        const QString name("<b>Kim</b> & New");
        QVERIFY(m_server
                    .control("PUT", "/control/user/1001",
                             QJsonObject{{"chattingAllowYn", "0"},
                                         {"email", "kim@example.org"},
                                         {"deptName", "Sales"}})
                    .isObject());
        Profile own;
        Profile session;
        QVariantList announced;
        {
            LoggedIn user(m_config, "user001", kPassword);
            QVERIFY(user.ok);
            ProfileEditDialog dialog(user.session.get());
            QSignalSpy updated(&dialog, &ProfileEditDialog::updateMyProfileImage);
            dialog.show();
            const qint64 since = m_server.lastRequestSeq();
            ModalScript script({"ProfileImageEditDialog:okButton"});
            QVERIFY(dialog.usePictureFile(pictureFile()));
            // While the picture is on its way OK cannot close the dialog.
            QVERIFY(dialog.isUploading());
            QVERIFY(!dialog.findChild<QPushButton*>("okButton")->isEnabled());
            QVERIFY(waitUntil([&] { return !dialog.isUploading(); }));
            QCOMPARE(profileUpdates(since), 0);
            setText(dialog, "nameLineEdit", name);
            dialog.findChild<QPushButton*>("okButton")->click();
            QVERIFY(waitUntil([&] { return !updated.isEmpty(); }));
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            announced = updated.first();
            own = profileOf(user.user(1001));
            session = Profile{user.session->mtData()->userName(),
                              user.session->mtData()->thumbUrl(),
                              user.session->mtData()->imageUrl(),
                              own.email,
                              own.dept,
                              own.chattAllow};
        }
        const Profile server = profileOf(m_server.control("GET", "/control/users/1001").toObject());
        // Another member sees it at the next directory refresh: here a fresh login.
        LoggedIn other(m_config, "user002", kPassword);
        QVERIFY(other.ok);
        QCOMPARE(server.name, name);
        QVERIFY(server.thumbUrl.startsWith("/files/"));
        QCOMPARE(server, (Profile{name, server.thumbUrl, server.imageUrl, "kim@example.org",
                                  "Sales", false}));
        QCOMPARE(own, server);
        QCOMPARE(session, server);
        QCOMPARE(announced, (QVariantList{name, server.thumbUrl}));
        QCOMPARE(profileOf(other.user(1001)), server);
    }

    void uploadFailure()
    {
        LoggedIn user(m_config, "user003", kPassword);
        QVERIFY(user.ok);
        QVERIFY(m_server.fail(DevFault::error("/rest/file", 500, 50000)));
        ProfileEditDialog dialog(user.session.get());
        dialog.show();
        const qint64 since = m_server.lastRequestSeq();
        ModalScript script({"ProfileImageEditDialog:okButton", "MtMessageDialog:okButton"});
        QVERIFY(dialog.usePictureFile(pictureFile()));
        QVERIFY(waitUntil([&] { return script.finished() && !QApplication::activeModalWidget(); }));
        QVERIFY(pinged(user));
        const UploadOutcome got{script.boxTexts(),
                                dialog.findChild<QPushButton*>("okButton")->isEnabled(),
                                dialog.fileKey(), dialog.isVisible(), profileUpdates(since)};
        QCOMPARE(got, (UploadOutcome{{"The server failed on purpose."}, true, "", true, 0}));
    }

    void okWithoutChangeAndEmptyName()
    {
        LoggedIn user(m_config, "user004", kPassword);
        QVERIFY(user.ok);
        const qint64 since = m_server.lastRequestSeq();
        ProfileEditDialog unchanged(user.session.get());
        unchanged.show();
        unchanged.findChild<QPushButton*>("okButton")->click();
        ProfileEditDialog blank(user.session.get());
        blank.show();
        ModalScript script({"ProfileImageEditDialog:okButton"});
        QVERIFY(blank.usePictureFile(pictureFile()));
        QVERIFY(waitUntil([&] { return !blank.isUploading(); }));
        setText(blank, "nameLineEdit", "   ");
        blank.findChild<QPushButton*>("okButton")->click();
        QVERIFY(pinged(user));
        QCOMPARE(unchanged.result(), int(QDialog::Accepted));
        QCOMPARE(blank.isVisible(), true);
        QCOMPARE(focusName(blank), QStringLiteral("nameLineEdit"));
        QCOMPARE(profileUpdates(since), 0);
    }

    void answerWithoutColumns()
    {
        QVERIFY(m_server
                    .control("PUT", "/control/user/1005",
                             QJsonObject{{"email", "choi@example.org"},
                                         {"deptName", "Support"},
                                         {"chattingAllowYn", "0"}})
                    .isObject());
        LoggedIn user(m_config, "user005", kPassword);
        QVERIFY(user.ok);
        const Profile before = profileOf(user.user(1005));
        DevFault answer = DevFault::body("/rest/user", R"({"status":200,"userName":"Choi"})");
        answer.method = "PUT";
        QVERIFY(m_server.fail(answer));
        ProfileEditDialog dialog(user.session.get());
        QSignalSpy updated(&dialog, &ProfileEditDialog::updateMyProfileImage);
        dialog.show();
        setText(dialog, "nameLineEdit", "Choi");
        dialog.findChild<QPushButton*>("okButton")->click();
        QVERIFY(waitUntil([&] { return !updated.isEmpty(); }));
        QCOMPARE(profileOf(user.user(1005)), (Profile{"Choi", before.thumbUrl, before.imageUrl,
                                                      "choi@example.org", "Support", false}));
        QCOMPARE(user.session->mtData()->thumbUrl(), before.thumbUrl);
    }

    void pictureCutter_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QPoint>("drag");
        QTest::addColumn<QPoint>("offset");
        QTest::newRow("wide picture dragged left")
            << QSize(400, 200) << QPoint(-60, 30) << QPoint(-60, 0);
        QTest::newRow("wide picture dragged past its edge stays")
            << QSize(400, 200) << QPoint(-101, 0) << QPoint(0, 0);
        QTest::newRow("tall picture dragged up")
            << QSize(200, 500) << QPoint(20, -90) << QPoint(0, -90);
        QTest::newRow("square picture cannot move")
            << QSize(300, 300) << QPoint(-40, -40) << QPoint(0, 0);
    }
    void pictureCutter()
    {
        QFETCH(QSize, picture);
        QFETCH(QPoint, drag);
        QFETCH(QPoint, offset);
        const QImage image = patterned(picture);
        ProfileImageView view;
        view.resize(100, 100);
        view.setPicture(QPixmap::fromImage(image));
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

    void removePicture()
    {
        QVERIFY(m_server
                    .control("PUT", "/control/user/1009",
                             QJsonObject{{"picture", true}, {"chattingAllowYn", "0"}})
                    .isObject());
        LoggedIn user(m_config, "user009", kPassword);
        QVERIFY(user.ok);
        QVERIFY(!user.session->mtData()->thumbUrl().isEmpty());
        ProfileEditDialog dialog(user.session.get());
        QSignalSpy updated(&dialog, &ProfileEditDialog::updateMyProfileImage);
        dialog.show();
        ModalScript script({"MtMessageDialog:okButton"});
        dialog.removePicture();
        QVERIFY(waitUntil([&] { return !updated.isEmpty(); }));
        const Profile server = profileOf(m_server.control("GET", "/control/users/1009").toObject());
        QCOMPARE(script.boxTexts(), QStringList{"Do you want to remove the profile picture?"});
        QCOMPARE(updated.first().at(1).toString(), QString());
        QCOMPARE(server.thumbUrl, QString());
        QCOMPARE(server.chattAllow, false);
        QCOMPARE(profileOf(user.user(1009)), server);
        QCOMPARE(user.session->mtData()->thumbUrl(), QString());
        QCOMPARE(dialog.isVisible(), true);
    }
};

QTEST_MAIN(TestProfileEdit)
#include "tst_profileedit.moc"
