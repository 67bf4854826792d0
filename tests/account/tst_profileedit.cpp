// The password change and the profile editor over a logged-in session against the reference
// server over real TLS: refusals before anything is sent, a new password that works at the next
// login and unlock, a server refusal, a dialog closed before the answer, and the name and picture
// that reach the server, the own store and, at its next directory refresh, another member's store.
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
#include <QPointer>
#include <QTemporaryDir>

namespace {
const QString kPassword = QStringLiteral("Passw0rd!");
const QString kNext = QStringLiteral("N3w-Passw0rd");

// What a refused password change leaves in the form.
struct Refusal
{
    int boxes = 0;
    QString focus;
    QString newText;
    QString confirmText;
    bool open = false;
    int sent = 0;
    MT_TYPED(Refusal, boxes, focus, newText, confirmText, open, sent)
};

// After a password change: what the dialog did, what the session keeps, and which passwords the
// server takes (0: accepted, else the error code).
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

// A directory user as one side has it.
struct Profile
{
    QString name;
    QString thumbUrl;
    QString imageUrl;
    QString email;
    QString dept;
    bool chattAllow = false;
    MT_TYPED(Profile, name, thumbUrl, imageUrl, email, dept, chattAllow)
};

// The editor after a picture upload that went wrong.
struct UploadOutcome
{
    QStringList boxes;
    bool okEnabled = false;
    QString fileKey;
    bool open = false;
    int profileUpdates = 0;
    MT_TYPED(UploadOutcome, boxes, okEnabled, fileKey, open, profileUpdates)
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

void setText(QDialog& dialog, const char* edit, const QString& text)
{
    dialog.findChild<QLineEdit*>(edit)->setText(text);
}

void fillPasswords(QDialog& dialog, const QString& old, const QString& next, const QString& again)
{
    setText(dialog, "oldPasswordLineEdit", old);
    setText(dialog, "newPasswordLineEdit", next);
    setText(dialog, "confirmPasswordLineEdit", again);
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

int visibleBoxes()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<MtMessageDialog*>(widget) && widget->isVisible() ? 1 : 0;
    return count;
}
} // namespace
Q_DECLARE_METATYPE(Refusal)
Q_DECLARE_METATYPE(PasswordOutcome)

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
    void cleanup()
    {
        m_server.clearFault();
        m_server.setRate(0);
    }

    // The checks' order and outcomes are tst_accountrules'; here the form follows them and
    // sends nothing.
    void passwordRefusals_data()
    {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<Refusal>("expected");
        QTest::newRow("confirmation empty")
            << kPassword << "abcdefghi"
            << "" << Refusal{1, "confirmPasswordLineEdit", "abcdefghi", "", true, 0};
        QTest::newRow("too short clears both new fields")
            << kPassword << "abcdefgh"
            << "abcdefgh" << Refusal{1, "newPasswordLineEdit", "", "", true, 0};
        QTest::newRow("wrong current password")
            << "Passw0rd?"
            << "abcdefghi"
            << "abcdefghj" << Refusal{1, "oldPasswordLineEdit", "abcdefghi", "abcdefghj", true, 0};
    }
    void passwordRefusals()
    {
        QFETCH(QString, oldPassword);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirm);
        QFETCH(Refusal, expected);
        LoggedIn user(m_config, "user007", kPassword, "test-pc", false);
        QVERIFY(user.ok);
        ChangePasswordDialog dialog(user.session.get());
        dialog.show();
        fillPasswords(dialog, oldPassword, newPassword, confirm);
        const qint64 since = m_server.lastRequestSeq();
        ModalScript script({"MtMessageDialog:okButton"});
        dialog.findChild<QPushButton*>("okButton")->click();
        QVERIFY(pinged(user));
        QCOMPARE((Refusal{int(script.boxTexts().size()), focusName(dialog),
                          dialog.findChild<QLineEdit*>("newPasswordLineEdit")->text(),
                          dialog.findChild<QLineEdit*>("confirmPasswordLineEdit")->text(),
                          dialog.isVisible(),
                          int(m_server.requests("/rest/user/password", since).size())}),
                 expected);
    }

    // The server's refusal is shown as plain text; the session's stored digest follows what
    // the server decided.
    void passwordChange_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<PasswordOutcome>("expected");
        QTest::newRow("accepted")
            << "user008" << QJsonObject{{"mode", "off"}} << QStringList()
            << PasswordOutcome{QDialog::Accepted, {}, DBMTData::passwordDigest(kNext), 0, 0, 40101};
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
        PasswordOutcome got;
        {
            LoggedIn user(m_config, account, kPassword, "test-pc", false);
            QVERIFY(user.ok);
            QVERIFY(m_server.setFault(fault));
            ChangePasswordDialog dialog(user.session.get());
            QSignalSpy finished(&dialog, &QDialog::finished);
            dialog.show();
            fillPasswords(dialog, kPassword, kNext, kNext);
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
            got.storedDigest = DBMTData(user.db()).myPassword();
            got.unlockNew = unlockError(*user.session, kNext);
        }
        got.loginNew = loginError(m_config, account, kNext);
        got.loginOld = loginError(m_config, account, kPassword);
        QCOMPARE(got, expected);
    }

    // The dialog is closed while the server's answer is on its way: the stored digest still
    // follows the server, and nothing pops up once the dialog is gone.
    void closedWhileSent_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<PasswordOutcome>("expected"); // boxes: how many are up
        QTest::newRow("accepted") << "user011" << QJsonObject{{"mode", "off"}}
                                  << PasswordOutcome{0, {"0"}, DBMTData::passwordDigest(kNext),
                                                     0, 0,     40101};
        QTest::newRow("refused") << "user012"
                                 << QJsonObject{{"mode", "error"},
                                                {"path", "/rest/user/password"},
                                                {"status", 400},
                                                {"code", 40103},
                                                {"message", "Refused today"}}
                                 << PasswordOutcome{
                                        0,     {"0"}, DBMTData::passwordDigest(kPassword),
                                        40101, 40101, 0};
    }
    void closedWhileSent()
    {
        QFETCH(QString, account);
        QFETCH(QJsonObject, fault);
        QFETCH(PasswordOutcome, expected);
        PasswordOutcome got;
        got.result = 0;
        {
            LoggedIn user(m_config, account, kPassword, "test-pc", false);
            QVERIFY(user.ok);
            QVERIFY(m_server.setFault(fault));
            // A few bytes a second: the answer is decided at once and arrives seconds later.
            QVERIFY(m_server.setRate(4, QStringLiteral("/rest/user/password")));
            const qint64 since = m_server.lastRequestSeq();
            QPointer<ChangePasswordRequest> request;
            {
                ChangePasswordDialog dialog(user.session.get());
                dialog.show();
                fillPasswords(dialog, kPassword, kNext, kNext);
                dialog.findChild<QPushButton*>("okButton")->click();
                request = user.session->findChild<ChangePasswordRequest*>();
                QVERIFY(request);
                QVERIFY(waitUntil([&] {
                    const QJsonArray sent = m_server.requests("/rest/user/password", since);
                    return sent.size() == 1 && !sent.at(0)["status"].isNull();
                }));
                dialog.findChild<QPushButton*>("exitPushButton")->click();
            }
            // Sentinel: the answer has been handled and the request is gone.
            QVERIFY(waitUntil([&] { return request.isNull(); }));
            got.storedDigest = DBMTData(user.db()).myPassword();
            got.boxes = QStringList{QString::number(visibleBoxes())};
            m_server.setRate(0);
            got.unlockNew = unlockError(*user.session, kNext);
        }
        m_server.clearFault();
        got.loginNew = loginError(m_config, account, kNext);
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
            LoggedIn user(m_config, "user001", kPassword, "test-pc", false);
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
            own = profileOf(dbUser(user, 1001));
            const MTData* data = user.session->mtData();
            session = Profile{data->userName(), data->thumbUrl(), data->imageUrl(),
                              own.email,        own.dept,         own.chattAllow};
        }
        const Profile server = profileOf(m_server.control("GET", "/control/users/1001").toObject());
        // Another member sees it at the next directory refresh: here a fresh login.
        LoggedIn other(m_config, "user002", kPassword, "test-pc", false);
        QVERIFY(other.ok);
        QVERIFY(server.thumbUrl.startsWith("/files/"));
        QCOMPARE(server, (Profile{name, server.thumbUrl, server.imageUrl, "kim@example.org",
                                  "Sales", false}));
        QCOMPARE(own, server);
        QCOMPARE(session, server);
        QCOMPARE(announced, (QVariantList{name, server.thumbUrl}));
        QCOMPARE(profileOf(dbUser(other, 1001)), server);
    }

    void uploadFailure()
    {
        LoggedIn user(m_config, "user003", kPassword, "test-pc", false);
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

    // OK without a change closes; a blank name keeps the editor open on its field; neither
    // sends a profile update.
    void okWithoutChangeAndEmptyName()
    {
        LoggedIn user(m_config, "user004", kPassword, "test-pc", false);
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
        QCOMPARE(
            (QStringList{QString::number(unchanged.result()), QString::number(blank.isVisible()),
                         focusName(blank), QString::number(profileUpdates(since))}),
            (QStringList{QString::number(QDialog::Accepted), "1", "nameLineEdit", "0"}));
    }

    // An answer that leaves out the picture columns keeps the stored ones.
    void answerWithoutColumns()
    {
        QVERIFY(m_server
                    .control("PUT", "/control/user/1005",
                             QJsonObject{{"email", "choi@example.org"},
                                         {"deptName", "Support"},
                                         {"chattingAllowYn", "0"}})
                    .isObject());
        LoggedIn user(m_config, "user005", kPassword, "test-pc", false);
        QVERIFY(user.ok);
        const Profile before = profileOf(dbUser(user, 1005));
        DevFault answer = DevFault::body("/rest/user", R"({"status":200,"userName":"Choi"})");
        answer.method = "PUT";
        QVERIFY(m_server.fail(answer));
        ProfileEditDialog dialog(user.session.get());
        QSignalSpy updated(&dialog, &ProfileEditDialog::updateMyProfileImage);
        dialog.show();
        setText(dialog, "nameLineEdit", "Choi");
        dialog.findChild<QPushButton*>("okButton")->click();
        QVERIFY(waitUntil([&] { return !updated.isEmpty(); }));
        QCOMPARE(profileOf(dbUser(user, 1005)), (Profile{"Choi", before.thumbUrl, before.imageUrl,
                                                         "choi@example.org", "Support", false}));
        QCOMPARE(user.session->mtData()->thumbUrl(), before.thumbUrl);
    }

    // The cutter's geometry is tst_accountrules'; here the drag reaches it and the cut is
    // taken where it shows.
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

    // Removed after the question: the server, the own store and the session drop it, and the
    // editor stays open.
    void removePicture()
    {
        QVERIFY(m_server
                    .control("PUT", "/control/user/1009",
                             QJsonObject{{"picture", true}, {"chattingAllowYn", "0"}})
                    .isObject());
        LoggedIn user(m_config, "user009", kPassword, "test-pc", false);
        QVERIFY(user.ok);
        const Profile before = profileOf(dbUser(user, 1009));
        QVERIFY(!before.thumbUrl.isEmpty());
        ProfileEditDialog dialog(user.session.get());
        QSignalSpy updated(&dialog, &ProfileEditDialog::updateMyProfileImage);
        dialog.show();
        ModalScript script({"MtMessageDialog:okButton"});
        dialog.removePicture();
        QVERIFY(waitUntil([&] { return !updated.isEmpty(); }));
        const Profile server = profileOf(m_server.control("GET", "/control/users/1009").toObject());
        const Profile removed{before.name, {}, server.imageUrl, before.email, before.dept, false};
        QCOMPARE(server, removed);
        QCOMPARE(profileOf(dbUser(user, 1009)), removed);
        QCOMPARE((QStringList{QString::number(script.boxTexts().size()),
                              updated.first().at(1).toString(), user.session->mtData()->thumbUrl(),
                              QString::number(dialog.isVisible())}),
                 (QStringList{"1", "", "", "1"}));
    }
};

QTEST_MAIN(TestProfileEdit)
#include "tst_profileedit.moc"
