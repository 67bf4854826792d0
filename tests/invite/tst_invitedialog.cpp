// The invitation and members dialogs over a real login's directory, against the reference server.
#include "common/devserver.h"
#include "common/loggedin.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/wait.h"

#include "invite/chatinvitedialog.h"
#include "invite/chatinviteselectitem.h"
#include "invite/invitepictures.h"
#include "invite/inviteselectuserlist.h"
#include "invite/inviteusermodel.h"
#include "invite/memberlistmodel.h"
#include "invite/membersdialog.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
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
// Room, clicks (a: available, n: not installed, d: declines, p: partner), OK's outcome by key.
struct OkRow
{
    QString members;
    int roomType = -1;
    QString clicks;
    QString added, created;
    bool visible = false;
};
// A members or readers list as shown.
struct MembersView
{
    QStringList names;
    bool scrolls = false;
    MT_TYPED(MembersView, names, scrolls)
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

    MtSession* session() const { return m_login->session.get(); }
    qint64 ownId() const { return session()->mtData()->userId(); }
    QJsonObject serverUser(qint64 id) const
    {
        for (const QJsonValue& v : m_users) {
            if (idOf(v["userId"]) == id)
                return v.toObject();
        }
        return {};
    }
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
    static void clickOk(ChatInviteDialog& dialog)
    {
        QTest::mouseClick(dialog.findChild<QPushButton*>("okPushButton"), Qt::LeftButton);
    }
    static QStringList names(const MemberListModel* model)
    {
        QStringList out;
        for (int row = 0; row < model->rowCount(); ++row)
            out << model->data(model->index(row), MemberListModel::UserNameRole).toString();
        return out;
    }
    static QList<qint64> listed(const ChatInviteDialog& dialog)
    {
        QList<qint64> ids;
        for (int row = 0; row < dialog.model()->rowCount(); ++row)
            ids << dialog.model()->entryAt(row)->userId;
        return ids;
    }
    // Every active person of the server but the own user.
    QList<qint64> serverDirectory() const
    {
        QList<qint64> ids;
        for (const QJsonValue& v : m_users)
            ids << (v["state"] != "D" && idOf(v["userId"]) != ownId() ? idOf(v["userId"]) : 0);
        ids.removeAll(0);
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    static QList<qint64> sorted(QList<qint64> ids)
    {
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    static void compose(ChatInviteDialog& dialog, const QString& preedit, const QString& commit)
    {
        QInputMethodEvent event(preedit, {});
        event.setCommitString(commit);
        QApplication::sendEvent(dialog.searchLineEdit()->lineEdit(), &event);
    }
    QList<DBUser> usersOf(const QList<qint64>& ids)
    {
        QStringList texts;
        for (qint64 id : ids)
            texts << QString::number(id);
        QList<DBUser> users;
        m_login->db()->users(users, texts);
        return users;
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

    // Every active person but the own user, in the store's directory order.
    void listsTheDirectory()
    {
        ChatInviteDialog dialog(m_login->db(), ownId());
        QVERIFY(dialog.setData(QString(), -1));
        QCOMPARE(sorted(listed(dialog)), serverDirectory());
        QList<DBUser> users; // as the store orders them (by user_sort, then name)
        m_login->db()->selectUserList(users, ownId());
        QList<qint64> storeOrder;
        for (const DBUser& u : users)
            storeOrder << u.userId();
        QCOMPARE(listed(dialog), storeOrder);
    }

    // OK after clicks, one row per kind of end the selection decides; the dialog acts on each.
    void okButton_data()
    {
        QTest::addColumn<OkRow>("row");
        QTest::newRow("one-to-many") << OkRow{"1003,1004", 30, "and", "a", "", false};
        QTest::newRow("one-to-many, nobody new") << OkRow{"1003,1004", 30, "nd", "", "", false};
        QTest::newRow("one-to-one") << OkRow{"1007", 20, "pa", "", "pa", false};
        QTest::newRow("new conversation, nobody chosen") << OkRow{"", -1, "n", "", "", true};
    }
    void okButton()
    {
        QFETCH(OkRow, row);
        const QMap<QChar, qint64> people{{'a', firstWith(true, true)},
                                         {'n', firstWith(false, true)},
                                         {'d', firstWith(true, false)},
                                         {'p', row.members.toLongLong()}};
        const auto dialog = shownDialog(row.members, row.roomType);
        QVERIFY(dialog);
        QSignalSpy added(dialog.get(), &ChatInviteDialog::inviteAddMember);
        QSignalSpy created(dialog.get(), &ChatInviteDialog::newChatRoomOk);
        // A search that hides and shows the partner again keeps the partner fixed.
        dialog->searchLineEdit()->lineEdit()->setText(QStringLiteral("zzz-nobody"));
        dialog->searchLineEdit()->lineEdit()->setText(QString());
        for (QChar c : row.clicks)
            clickRow(*dialog, people.value(c));
        clickOk(*dialog);
        // A key list names one emission, none when empty.
        const auto ids = [&](const QString& keys) {
            QList<int> out;
            for (QChar c : keys)
                out << int(people.value(c));
            return out.isEmpty() ? QList<Emission>{} : QList<Emission>{{out}};
        };
        const auto emitted = [](const QSignalSpy& spy) {
            QList<Emission> out;
            for (const QList<QVariant>& args : spy)
                out << Emission{args.at(0).value<QList<int>>()};
            return out;
        };
        QCOMPARE((Seen{emitted(added), emitted(created), dialog->isVisible()}),
                 (Seen{ids(row.added), ids(row.created), row.visible}));
    }

    // Search (a syllable being composed too) and chips never lose the people chosen.
    void searchAndChipsKeepTheChoice()
    {
        const auto dialog = shownDialog(QStringLiteral("1010"), 30);
        QVERIFY(dialog);
        clickRow(*dialog, 1002);
        clickRow(*dialog, 1003);
        const QString name = serverUser(1002)["userName"].toString();
        // The first syllable committed, the second still being composed.
        compose(*dialog, QString(), name.left(1));
        compose(*dialog, name.mid(1, 1), QString());
        const QModelIndex index = dialog->model()->index(dialog->model()->rowOf(1002));
        QCOMPARE(index.data(InviteUserModel::CheckedRole).toBool(), true);
        QCOMPARE(dialog->model()->rowCount(),
                 int(std::count_if(m_users.begin(), m_users.end(), [&](const QJsonValue& v) {
                     return v["state"] != "D" && idOf(v["userId"]) != ownId() &&
                            v["userName"].toString().contains(name.left(2), Qt::CaseInsensitive);
                 })));
        compose(*dialog, QString(), name.mid(1, 1));
        dialog->searchLineEdit()->lineEdit()->clear();
        QCOMPARE(sorted(listed(*dialog)), serverDirectory());
        auto* chosen = dialog->findChild<InviteSelectUserList*>("selectListWidget");
        QCOMPARE(chosen->itemAt(0)->isEnabled(), false);
        QTest::mouseClick(chosen->itemAt(1)->removeButton(), Qt::LeftButton);
        const QModelIndex row = dialog->model()->index(dialog->model()->rowOf(1002));
        QCOMPARE(row.data(InviteUserModel::CheckedRole).toBool(), false);
        QCOMPARE(chosen->userIds(), (QList<qint64>{1010, 1003}));
        QCOMPARE(dialog->selection().chosen(), (QVector<qint64>{1010, 1003}));
    }

    // Without a directory the dialog opens empty and OK does nothing.
    void withoutDirectory()
    {
        ChatInviteDialog dialog(nullptr, 1);
        QCOMPARE(dialog.setData(QString(), -1), false);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QSignalSpy created(&dialog, &ChatInviteDialog::newChatRoomOk);
        clickOk(dialog);
        QCOMPARE(
            (QVector<int>{dialog.model()->rowCount(), int(created.count()), dialog.isVisible()}),
            (QVector<int>{0, 0, true}));
    }

    // Members or readers replace what was shown before; a long list scrolls.
    void membersList_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("readers");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("three members") << 3 << false << false;
        QTest::newRow("twenty members") << 20 << false << true;
        QTest::newRow("one reader") << 1 << true << false;
        QTest::newRow("twenty readers") << 20 << true << true;
    }
    void membersList()
    {
        QFETCH(int, count);
        QFETCH(bool, readers);
        QFETCH(bool, scrolls);
        QList<qint64> ids;
        QStringList expected;
        for (int i = 0; i < count; ++i) {
            ids << 1002 + i;
            expected << serverUser(1002 + i)["userName"].toString();
        }
        MembersDialog dialog;
        dialog.setReaders(usersOf({1030}));
        readers ? dialog.setReaders(usersOf(ids)) : dialog.setMembers(usersOf(ids));
        const auto* list = dialog.findChild<QListView*>("membersListView");
        QCOMPARE((MembersView{names(dialog.model()),
                              list->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff}),
                 (MembersView{expected, scrolls}));
    }

    // Missing thumbnails are fetched once each; a click names the person.
    void membersPicturesAndClicks()
    {
        QList<qint64> ids;
        for (const QJsonValue& v : m_users)
            ids << (idOf(v["userId"]) >= 1200 && !v["thumbUrl"].toString().isEmpty()
                        ? idOf(v["userId"])
                        : 0);
        ids.removeAll(0);
        ids = ids.mid(0, 4);
        const QList<DBUser> users = usersOf(ids);
        QStringList urls;
        for (const DBUser& u : users)
            urls << u.thumbUrl();
        MembersDialog dialog;
        dialog.setPictureSource(session()->net());
        QSignalSpy fetched(dialog.findChild<InvitePictures*>(), &InvitePictures::pictureReady);
        QSignalSpy clicked(&dialog, &MembersDialog::memberClicked);
        dialog.setMembers(users);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(waitUntil([&] { return fetched.count() >= urls.size(); }));
        QStringList cached;
        for (const QString& url : urls)
            cached << (FileManager::cachedFile(url).isEmpty() ? QString() : url);
        QCOMPARE(cached, urls);
        auto* list = dialog.findChild<QListView*>("membersListView");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(dialog.model()->index(2)).center());
        QCOMPARE((QList<QList<QVariant>>(clicked)), (QList<QList<QVariant>>{{int(ids.at(2))}}));
        QCOMPARE(fetched.count(), urls.size());
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
