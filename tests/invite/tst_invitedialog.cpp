// The invitation dialog over a real login's directory, against the reference server.
#include "common/devserver.h"
#include "common/loggedin.h"
#include "common/testenv.h"
#include "common/typed.h"

#include "invite/chatinvitedialog.h"
#include "invite/chatinviteselectitem.h"
#include "invite/inviteselectuserlist.h"
#include "invite/inviteusermodel.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "widgets/mtsearchlineedit.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

namespace {
qint64 idOf(const QJsonValue& v)
{
    return v.toVariant().toLongLong();
}

// What OK led to: the ids of each inviteAddMember and newChatRoomOk, and whether it stays.
struct Emission
{
    QList<int> ids;
    MT_TYPED(Emission, ids)
};
struct Seen
{
    QList<Emission> added, created;
    bool visible = false;
    MT_TYPED(Seen, added, created, visible)
};
// A room, the people clicked in it, and what OK leads to.
struct OkRow
{
    QString members;
    int roomType = -1;
    QList<int> clicks;
    Seen expected;
};
} // namespace

Q_DECLARE_METATYPE(OkRow)

class TestInviteDialog : public QObject
{
    Q_OBJECT
private:
    TestEnv m_env;
    DevServer m_server;
    std::unique_ptr<LoggedIn> m_login;
    QJsonArray m_users; // the server's directory

    qint64 ownId() const { return m_login->session->mtData()->userId(); }
    // The first active person who has installed the client or not, and accepts chats or not.
    qint64 firstWith(bool installed, bool allows) const
    {
        for (const QJsonValue& v : m_users) {
            if ((v["appInstallYn"].toString() == "1") == installed &&
                (v["chattingAllowYn"].toString() == "1") == allows && v["state"] != "D" &&
                idOf(v["userId"]) != ownId())
                return idOf(v["userId"]);
        }
        return 0;
    }
    // A dialog for a room of these members, shown on the screen.
    std::unique_ptr<ChatInviteDialog> shownDialog(const QString& members, int roomType)
    {
        auto dialog = std::make_unique<ChatInviteDialog>(m_login->db(), ownId());
        dialog->setData(members, roomType);
        dialog->show();
        return QTest::qWaitForWindowExposed(dialog.get()) ? std::move(dialog) : nullptr;
    }
    static void clickRow(ChatInviteDialog& dialog, qint64 userId)
    {
        auto* view = dialog.findChild<QListView*>("inviteListView");
        const QModelIndex index = dialog.model()->index(dialog.model()->rowOf(userId));
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }
    // How many active people of the server but the own user have `part` in their names.
    int directoryCount(const QString& part) const
    {
        return int(std::count_if(m_users.begin(), m_users.end(), [&](const QJsonValue& v) {
            return v["state"] != "D" && idOf(v["userId"]) != ownId() &&
                   v["userName"].toString().contains(part, Qt::CaseInsensitive);
        }));
    }
    static void compose(ChatInviteDialog& dialog, const QString& preedit, const QString& commit)
    {
        QInputMethodEvent event(preedit, {});
        event.setCommitString(commit);
        QApplication::sendEvent(dialog.searchLineEdit()->lineEdit(), &event);
    }

private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_users = m_server.control("GET", "/control/users?n=100000").toArray();
        m_login = std::make_unique<LoggedIn>(m_server, "user001", LoggedIn::kPassword, "invite-pc");
        QVERIFY(m_login->ok);
    }

    // OK after clicks, one row per kind of end the selection decides; the dialog acts on each.
    void okButton_data()
    {
        QTest::addColumn<OkRow>("row");
        // Available, not installed, declining chats.
        const int a = int(firstWith(true, true));
        const int n = int(firstWith(false, true));
        const int d = int(firstWith(true, false));
        QTest::newRow("one-to-many") << OkRow{"1003,1004", 30, {a, n, d}, {{{{a}}}, {}, false}};
        QTest::newRow("one-to-many, nobody new") << OkRow{"1003,1004", 30, {n, d}, {}};
        QTest::newRow("one-to-one")
            << OkRow{"1007", 20, {1007, a}, {{}, {Emission{{1007, a}}}, false}};
        QTest::newRow("new conversation, nobody chosen") << OkRow{"", -1, {n}, {{}, {}, true}};
    }
    void okButton()
    {
        QFETCH(OkRow, row);
        const auto dialog = shownDialog(row.members, row.roomType);
        QVERIFY(dialog);
        QSignalSpy added(dialog.get(), &ChatInviteDialog::inviteAddMember);
        QSignalSpy created(dialog.get(), &ChatInviteDialog::newChatRoomOk);
        // A search that hides and shows the partner again keeps the partner fixed.
        dialog->searchLineEdit()->lineEdit()->setText(QStringLiteral("zzz-nobody"));
        dialog->searchLineEdit()->lineEdit()->setText(QString());
        for (int id : row.clicks)
            clickRow(*dialog, id);
        QTest::mouseClick(dialog->findChild<QPushButton*>("okPushButton"), Qt::LeftButton);
        const auto emitted = [](const QSignalSpy& spy) {
            QList<Emission> out;
            for (const QList<QVariant>& args : spy)
                out << Emission{args.at(0).value<QList<int>>()};
            return out;
        };
        QCOMPARE((Seen{emitted(added), emitted(created), dialog->isVisible()}), row.expected);
    }

    // Search (a syllable being composed too) and chips never lose the people chosen.
    void searchAndChipsKeepTheChoice()
    {
        const auto dialog = shownDialog(QStringLiteral("1010"), 30);
        QVERIFY(dialog);
        clickRow(*dialog, 1002);
        clickRow(*dialog, 1003);
        const QString name = m_server.user(QStringLiteral("user002"))["userName"].toString();
        // The first syllable committed, the second still being composed.
        compose(*dialog, QString(), name.left(1));
        compose(*dialog, name.mid(1, 1), QString());
        QCOMPARE(dialog->model()->rowCount(), directoryCount(name.left(2)));
        compose(*dialog, QString(), name.mid(1, 1));
        dialog->searchLineEdit()->lineEdit()->clear();
        QCOMPARE(dialog->model()->rowCount(), directoryCount(QString()));
        auto* chosen = dialog->findChild<InviteSelectUserList*>("selectListWidget");
        QCOMPARE(chosen->itemAt(0)->isEnabled(), false);
        QTest::mouseClick(chosen->itemAt(1)->removeButton(), Qt::LeftButton);
        QCOMPARE(chosen->userIds(), (QList<qint64>{1010, 1003}));
        QCOMPARE(dialog->selection().chosen(), (QVector<qint64>{1010, 1003}));
    }

    // Names are shown as they are written, never read as markup.
    void namesArePlainText()
    {
        DBUser user;
        user.setUserId(42);
        user.setUserName(QStringLiteral("<b>Bold</b> <img src=x>"));
        ChatInviteSelectItem chip(user);
        const auto* label = chip.findChild<QLabel*>("selectUserNamelabel");
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), user.userName());
    }
};

QTEST_MAIN(TestInviteDialog)
#include "tst_invitedialog.moc"
