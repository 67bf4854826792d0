// A password change whose dialog is closed while the server's answer is still on its way,
// against the reference server over real TLS: the session's stored digest follows what the
// server decided, and nothing pops up once the dialog is gone.
#include "accountfixture.h"

#include "account/changepassworddialog.h"
#include "common/testenv.h"
#include "store/dbmtdata.h"

#include <QPointer>

// After the answer to a change whose dialog was closed first: what the session keeps, whether a
// box came up, and which passwords the server takes (0: accepted, else the error code).
struct ClosedEarly
{
    QString storedDigest;
    int boxes = -1;
    int unlockNew = -1;
    int loginNew = -1;
    int loginOld = -1;
    bool operator==(const ClosedEarly& o) const
    {
        return storedDigest == o.storedDigest && boxes == o.boxes && unlockNew == o.unlockNew &&
               loginNew == o.loginNew && loginOld == o.loginOld;
    }
};
Q_DECLARE_METATYPE(ClosedEarly)

namespace QTest {
template <>
char* toString(const ClosedEarly& c)
{
    return qstrdup(
        qPrintable(QStringLiteral("digest=%1 boxes=%2 unlockNew=%3 loginNew=%4 loginOld=%5")
                       .arg(c.storedDigest)
                       .arg(c.boxes)
                       .arg(c.unlockNew)
                       .arg(c.loginNew)
                       .arg(c.loginOld)));
}
} // namespace QTest

namespace {
const QString kPassword = QStringLiteral("Passw0rd!");
const QString kNext = QStringLiteral("N3w-Passw0rd");

int visibleBoxes()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<MtMessageDialog*>(widget) && widget->isVisible() ? 1 : 0;
    return count;
}
} // namespace

class TestPasswordChange : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    ServerConfig m_config;

    // The server has answered the change (its answer is slowed on the way back).
    bool answeredOnServer(qint64 since)
    {
        const QJsonArray sent = m_server.requests(QStringLiteral("/rest/user/password"), since);
        return sent.size() == 1 && !sent.at(0).toObject().value("status").isNull();
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

    void closedWhileSent_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<ClosedEarly>("expected");
        QTest::newRow("accepted") << "user011" << QJsonObject{{"mode", "off"}}
                                  << ClosedEarly{DBMTData::passwordDigest(kNext), 0, 0, 0, 40101};
        QTest::newRow("refused") << "user012"
                                 << QJsonObject{{"mode", "error"},
                                                {"path", "/rest/user/password"},
                                                {"status", 400},
                                                {"code", 40103},
                                                {"message", "Refused today"}}
                                 << ClosedEarly{DBMTData::passwordDigest(kPassword), 0, 40101,
                                                40101, 0};
    }
    void closedWhileSent()
    {
        QFETCH(QString, account);
        QFETCH(QJsonObject, fault);
        QFETCH(ClosedEarly, expected);
        ClosedEarly got;
        {
            LoggedIn user(m_config, account, kPassword);
            QVERIFY(user.ok);
            QVERIFY(m_server.setFault(fault));
            // A few bytes a second: the answer is decided at once and arrives seconds later.
            QVERIFY(m_server.setRate(4, QStringLiteral("/rest/user/password")));
            const qint64 since = m_server.lastRequestSeq();
            QPointer<ChangePasswordRequest> request;
            {
                ChangePasswordDialog dialog(user.session.get());
                dialog.show();
                dialog.findChild<QLineEdit*>("oldPasswordLineEdit")->setText(kPassword);
                dialog.findChild<QLineEdit*>("newPasswordLineEdit")->setText(kNext);
                dialog.findChild<QLineEdit*>("confirmPasswordLineEdit")->setText(kNext);
                dialog.findChild<QPushButton*>("okButton")->click();
                request = user.session->findChild<ChangePasswordRequest*>();
                QVERIFY(request);
                QVERIFY(waitUntil([&] { return answeredOnServer(since); }));
                dialog.findChild<QPushButton*>("exitPushButton")->click();
            }
            // Sentinel: the answer has been handled and the request is gone.
            QVERIFY(waitUntil([&] { return request.isNull(); }));
            got.storedDigest = DBMTData(user.session->db()).myPassword();
            got.boxes = visibleBoxes();
            m_server.setRate(0);
            got.unlockNew = unlockError(*user.session, kNext);
        }
        m_server.clearFault();
        got.loginNew = loginError(m_config, account, kNext);
        got.loginOld = loginError(m_config, account, kPassword);
        QCOMPARE(got, expected);
    }
};

QTEST_MAIN(TestPasswordChange)
#include "tst_passwordchange.moc"
