#include "common/devserver.h"
#include "common/testenv.h"
#include "session/sessionrecorder.h"

#include "invite/chatinvitedialog.h"
#include "invite/chatinviteselectitem.h"
#include "invite/invitepictures.h"
#include "invite/inviteselectuserlist.h"
#include "invite/inviteuserdelegate.h"
#include "invite/inviteusermodel.h"
#include "invite/memberlistmodel.h"
#include "invite/membersdialog.h"
#include "net/filemanager.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "session/mtsession.h"
#include "store/dbchatroom.h"
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
const QString kPassword = QStringLiteral("Passw0rd!");
// Request codes of this test's own requests (the session's codes are small numbers).
constexpr int kInviteReq = 7001;
constexpr int kRoomReq = 7002;

qint64 idOf(const QJsonValue& v)
{
    return v.toVariant().toLongLong();
}

// What a row of the picker shows and does for one person.
struct RowView
{
    int availability = 0;
    QString status;
    int flags = 0;
    bool checkedAfterClick = false;
    QList<qint64> chipsAfterClick;
    bool operator==(const RowView& o) const
    {
        return availability == o.availability && status == o.status && flags == o.flags &&
               checkedAfterClick == o.checkedAfterClick && chipsAfterClick == o.chipsAfterClick;
    }
};

// An invitation from the picker, as the server saw it.
struct InviteView
{
    QList<int> emitted;   // inviteAddMember
    int answerCode = 0;   // 0: accepted, else the server's error code
    QList<qint64> before; // room members before
    QList<qint64> after;  // and after
    bool operator==(const InviteView& o) const
    {
        return emitted == o.emitted && answerCode == o.answerCode && before == o.before &&
               after == o.after;
    }
};

// A members or readers list as shown.
struct MembersView
{
    QString title;
    QStringList names;
    int listHeight = 0;
    int dialogHeight = 0;
    bool scrolls = false;
    bool operator==(const MembersView& o) const
    {
        return title == o.title && names == o.names && listHeight == o.listHeight &&
               dialogHeight == o.dialogHeight && scrolls == o.scrolls;
    }
};

// Ids as the texts they are sent or printed as.
template <typename Id>
QStringList idTexts(const QList<Id>& ids)
{
    QStringList parts;
    for (Id id : ids)
        parts << QString::number(id);
    return parts;
}
template <typename Id>
QString idsText(const QList<Id>& ids)
{
    return idTexts(ids).join(' ');
}
} // namespace

Q_DECLARE_METATYPE(RowView)
Q_DECLARE_METATYPE(InviteView)
Q_DECLARE_METATYPE(MembersView)
namespace QTest {
template <>
inline char* toString(const RowView& v)
{
    return qstrdup(qPrintable(QStringLiteral("availability=%1 status=%2 flags=%3 checked=%4 "
                                             "chips=[%5]")
                                  .arg(v.availability)
                                  .arg(v.status)
                                  .arg(v.flags)
                                  .arg(v.checkedAfterClick)
                                  .arg(idsText(v.chipsAfterClick))));
}
template <>
inline char* toString(const InviteView& v)
{
    return qstrdup(qPrintable(QStringLiteral("emitted=[%1] answer=%2 before=[%3] after=[%4]")
                                  .arg(idsText(v.emitted))
                                  .arg(v.answerCode)
                                  .arg(idsText(v.before), idsText(v.after))));
}
template <>
inline char* toString(const MembersView& v)
{
    return qstrdup(qPrintable(QStringLiteral("title=%1 names=[%2] list=%3 dialog=%4 scrolls=%5")
                                  .arg(v.title, v.names.join(", "))
                                  .arg(v.listHeight)
                                  .arg(v.dialogHeight)
                                  .arg(v.scrolls)));
}
} // namespace QTest

// The invitation dialog and the members list on the offscreen platform, over the directory a
// real login stored from the reference server (TLS), and invitations sent to that server.
class TestInviteDialog : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    std::unique_ptr<MtSession> m_session;
    std::unique_ptr<SessionRecorder> m_recorder;
    QJsonArray m_users; // the server's directory

    qint64 ownId() const { return m_session->mtData()->userId(); }
    QJsonObject serverUser(qint64 id) const
    {
        for (const QJsonValue& v : m_users) {
            if (idOf(v["userId"]) == id)
                return v.toObject();
        }
        return {};
    }
    // The first seeded person with these flags.
    qint64 firstWith(bool installed, bool allows) const
    {
        for (const QJsonValue& v : m_users) {
            if ((v["appInstallYn"].toString() == "1") == installed &&
                (v["chattingAllowYn"].toString() == "1") == allows && v["state"] != "D")
                return idOf(v["userId"]);
        }
        return 0;
    }
    qint64 personOfKind(const QString& kind) const
    {
        if (kind == "available")
            return 1002;
        if (kind == "not installed")
            return firstWith(false, true);
        return firstWith(true, false);
    }
    // A new room of the own user with these people, made through the server.
    qint64 newRoom(const QList<qint64>& others, int roomType)
    {
        DBChatRoom room(m_session->db());
        room.setMembers(idTexts(others).join(','));
        room.setType(roomType);
        QSignalSpy ok(m_session->net(), &NetServerManager::onHttpSuccess);
        m_session->net()->reqNewChatRoom(kRoomReq, room);
        const auto answered = [&] {
            return std::any_of(ok.begin(), ok.end(),
                               [](const QList<QVariant>& a) { return a[0].toInt() == kRoomReq; });
        };
        QDeadlineTimer deadline(30000);
        while (!answered() && !deadline.hasExpired())
            ok.wait(100);
        for (const QList<QVariant>& a : ok) {
            if (a[0].toInt() == kRoomReq)
                return idOf(a[1].toJsonObject()["chattRoomId"]);
        }
        return 0;
    }
    QList<qint64> serverMembers(qint64 roomId)
    {
        const QJsonArray rooms =
            m_server.control("GET", "/control/rooms?userId=" + QString::number(ownId())).toArray();
        QList<qint64> ids;
        for (const QJsonValue& r : rooms) {
            if (idOf(r["chattRoomId"]) != roomId)
                continue;
            for (const QJsonValue& id : r["memberIds"].toArray())
                ids << idOf(id);
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // Sends the invitation and waits for its one answer: 0 when accepted, else the error code.
    int sendInvite(qint64 roomId, const QList<int>& ids)
    {
        QSignalSpy ok(m_session->net(), &NetServerManager::onHttpSuccess);
        QSignalSpy failed(m_session->net(), &NetServerManager::onHttpFailure);
        m_session->net()->reqInviteMember(kInviteReq, roomId, idTexts(ids));
        const auto mine = [](const QSignalSpy& spy) {
            return std::count_if(spy.begin(), spy.end(), [](const QList<QVariant>& a) {
                return a[0].toInt() == kInviteReq;
            });
        };
        QDeadlineTimer deadline(30000);
        while (mine(ok) + mine(failed) == 0 && !deadline.hasExpired())
            QTest::qWait(10);
        for (const QList<QVariant>& a : failed) {
            if (a[0].toInt() == kInviteReq)
                return a[1].toInt();
        }
        return mine(ok) == 1 ? 0 : -1;
    }
    static QString membersText(const QList<qint64>& ids) { return idTexts(ids).join(','); }
    // A dialog for a room of these members, shown on the screen; null when it never shows.
    std::unique_ptr<ChatInviteDialog> shownDialog(const QString& members, int roomType)
    {
        auto dialog = std::make_unique<ChatInviteDialog>(m_session->db(), ownId());
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
    static QList<qint64> chips(ChatInviteDialog& dialog)
    {
        return dialog.findChild<InviteSelectUserList*>("selectListWidget")->userIds();
    }
    static QStringList names(const MemberListModel* model)
    {
        QStringList out;
        for (int row = 0; row < model->rowCount(); ++row)
            out << model->data(model->index(row), MemberListModel::UserNameRole).toString();
        return out;
    }
    static MembersView view(const MembersDialog& d)
    {
        const auto* list = d.findChild<QListView*>("membersListView");
        return {d.title(), names(d.model()), list->height(), d.height(),
                list->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff};
    }
    // The people the dialog should list: every active one but the own user, sorted by id.
    QList<qint64> expectedDirectory() const
    {
        QList<qint64> ids;
        for (const QJsonValue& v : m_users) {
            if (v["state"] != "D" && idOf(v["userId"]) != ownId())
                ids << idOf(v["userId"]);
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // People with a picture whom no room of the own user names, so nothing but the dialog
    // fetches their thumbnails.
    QList<qint64> farPeopleWithPictures(int count) const
    {
        QList<qint64> ids;
        for (const QJsonValue& v : m_users) {
            if (idOf(v["userId"]) >= 1200 && !v["thumbUrl"].toString().isEmpty() &&
                ids.size() < count)
                ids << idOf(v["userId"]);
        }
        return ids;
    }
    static QList<qint64> listedInOrder(const ChatInviteDialog& dialog)
    {
        QList<qint64> ids;
        for (int row = 0; row < dialog.model()->rowCount(); ++row)
            ids << dialog.model()->entryAt(row)->userId;
        return ids;
    }
    static QList<qint64> listedIds(const ChatInviteDialog& dialog)
    {
        QList<qint64> ids = listedInOrder(dialog);
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // The order of the reference statement (by user_sort, then name).
    QList<qint64> storeOrder() const
    {
        QList<DBUser> users;
        m_session->db()->selectUserList(users, ownId());
        QList<qint64> ids;
        for (const DBUser& u : users)
            ids << u.userId();
        return ids;
    }
    // Server people whose name contains the text, any case.
    int namesContaining(const QString& text) const
    {
        return int(std::count_if(m_users.begin(), m_users.end(), [&](const QJsonValue& v) {
            return v["state"] != "D" && idOf(v["userId"]) != ownId() &&
                   v["userName"].toString().contains(text, Qt::CaseInsensitive);
        }));
    }
    static QList<int> emittedIds(const QSignalSpy& spy)
    {
        return spy.isEmpty() ? QList<int>{} : spy.first().first().value<QList<int>>();
    }
    static QList<int> idsIf(bool on, qint64 id) { return on ? QList<int>{int(id)} : QList<int>{}; }
    static QList<qint64> withIf(QList<qint64> ids, bool on, qint64 id)
    {
        ids << (on ? QList<qint64>{id} : QList<qint64>{});
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    static void compose(ChatInviteDialog& dialog, const QString& preedit, const QString& commit)
    {
        QInputMethodEvent event(preedit, {});
        event.setCommitString(commit);
        QApplication::sendEvent(dialog.searchLineEdit()->lineEdit(), &event);
    }
    static void fill(MembersDialog& dialog, bool readers, const QList<DBUser>& users)
    {
        readers ? dialog.setReaders(users) : dialog.setMembers(users);
    }
    static QStringList thumbUrls(const QList<DBUser>& users)
    {
        QStringList urls;
        for (const DBUser& u : users) {
            if (!u.thumbUrl().isEmpty())
                urls << u.thumbUrl();
        }
        return urls;
    }
    static QStringList cachedOf(const QStringList& urls)
    {
        QStringList cached;
        for (const QString& url : urls) {
            if (!FileManager::cachedFile(url).isEmpty())
                cached << url;
        }
        return cached;
    }
    QStringList namesOf(const QList<qint64>& ids) const
    {
        QStringList out;
        for (qint64 id : ids)
            out << serverUser(id)["userName"].toString();
        return out;
    }
    QList<DBUser> usersOf(const QList<qint64>& ids)
    {
        QList<DBUser> users;
        m_session->db()->users(users, idTexts(ids));
        return users;
    }

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_users = m_server.control("GET", "/control/users?n=100000").toArray();
        m_session = std::make_unique<MtSession>(ServerConfig::fromFile(m_server.clientIni()));
        m_recorder = std::make_unique<SessionRecorder>(m_session.get());
        QVERIFY(m_session->login("user001", kPassword, false, "invite-pc"));
        QVERIFY(m_recorder->waitFor("roomsReady"));
        QVERIFY(m_recorder->waitFor("messagingConnected"));
    }
    void cleanupTestCase()
    {
        m_recorder.reset();
        m_session.reset();
    }

    // Every active person but the own user, in the server's directory order.
    void listsTheDirectory()
    {
        ChatInviteDialog dialog(m_session->db(), ownId());
        QVERIFY(dialog.setData(QString(), -1));
        QCOMPARE(listedIds(dialog), expectedDirectory());
        QCOMPARE(listedInOrder(dialog), storeOrder());
    }

    // A person's row in the picker of a one-to-many room, how it shows and whether a click
    // chooses it; then the person is sent to the server whatever the picker did: the picker lets
    // through exactly the people the server accepts.
    void inviteFromPicker_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<RowView>("row");
        QTest::addColumn<int>("answerCode");
        const int usable = int(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        QTest::newRow("installed and accepting: chosen by a click, added")
            << "available"
            << RowView{InviteSelection::Available, QString(), usable, true, {1003, 1004, 1002}}
            << 0;
        QTest::newRow("not installed: says so, cannot be chosen, refused by the server too")
            << "not installed"
            << RowView{InviteSelection::NotInstalled, "Not Install", 0, false, {1003, 1004}}
            << 40005;
        QTest::newRow("refusing chats: says so, cannot be chosen, refused by the server too")
            << "declines"
            << RowView{InviteSelection::DeclinesChats, "Decline Invite", 0, false, {1003, 1004}}
            << 40005;
    }
    void inviteFromPicker()
    {
        QFETCH(QString, kind);
        QFETCH(RowView, row);
        QFETCH(int, answerCode);
        const qint64 person = personOfKind(kind);
        const QList<qint64> others{1003, 1004};
        const qint64 roomId = newRoom(others, 30);
        QVERIFY(roomId > 0);
        const QList<qint64> before = serverMembers(roomId);

        const auto shown = shownDialog(membersText(others), 30);
        QVERIFY(shown);
        ChatInviteDialog& dialog = *shown;
        QSignalSpy added(&dialog, &ChatInviteDialog::inviteAddMember);
        const QModelIndex index = dialog.model()->index(dialog.model()->rowOf(person));
        const int availability = index.data(InviteUserModel::AvailabilityRole).toInt();
        const int flags = int(dialog.model()->flags(index));
        clickRow(dialog, person);
        QCOMPARE((RowView{availability, InviteUserDelegate::statusText(availability), flags,
                          index.data(InviteUserModel::CheckedRole).toBool(), chips(dialog)}),
                 row);
        QTest::mouseClick(dialog.findChild<QPushButton*>("okPushButton"), Qt::LeftButton);
        const bool chosen = row.checkedAfterClick;
        const int code = sendInvite(roomId, {int(person)});
        QCOMPARE((InviteView{emittedIds(added), code, before, serverMembers(roomId)}),
                 (InviteView{idsIf(chosen, person), answerCode, before,
                             withIf(before, chosen, person)}));
        QCOMPARE(dialog.isVisible(), false);
    }

    // Nobody new in a one-to-many room: the dialog closes and no request leaves.
    void emptyInvitationSendsNothing()
    {
        const QList<qint64> others{1005, 1006};
        const auto shown = shownDialog(membersText(others), 30);
        QVERIFY(shown);
        ChatInviteDialog& dialog = *shown;
        QSignalSpy added(&dialog, &ChatInviteDialog::inviteAddMember);
        const qint64 seq = m_server.lastRequestSeq();
        QTest::mouseClick(dialog.findChild<QPushButton*>("okPushButton"), Qt::LeftButton);
        // The ping is the sentinel: when its request is recorded, an invitation sent before it
        // would be recorded too.
        QSignalSpy pinged(m_session->net(), &NetServerManager::onHttpSuccess);
        m_session->ping();
        QVERIFY(pinged.wait(30000));
        QCOMPARE(added.count(), 0);
        QCOMPARE(m_server.requests("/rest/chatt/room/member", seq).size(), 0);
        QCOMPARE(dialog.isVisible(), false);
    }

    // A one-to-one room (or one the partner left) becomes a new room with the partner first;
    // adding a third person to the pair itself is what the server refuses.
    void oneToOneMakesANewRoom_data()
    {
        QTest::addColumn<int>("roomType");
        QTest::newRow("one-to-one") << 20;
        QTest::newRow("left one-to-one") << 40;
    }
    void oneToOneMakesANewRoom()
    {
        QFETCH(int, roomType);
        const qint64 partner = 1007;
        const qint64 pairRoom = newRoom({partner}, 20);
        QVERIFY(pairRoom > 0);
        const auto shown = shownDialog(QString::number(partner), roomType);
        QVERIFY(shown);
        ChatInviteDialog& dialog = *shown;
        QSignalSpy created(&dialog, &ChatInviteDialog::newChatRoomOk);
        // A search that hides and shows the partner again keeps the partner fixed.
        dialog.searchLineEdit()->lineEdit()->setText(QStringLiteral("zzz-nobody"));
        dialog.searchLineEdit()->lineEdit()->setText(QString());
        clickRow(dialog, partner);
        clickRow(dialog, 1008);
        clickRow(dialog, 1009);
        QTest::mouseClick(dialog.findChild<QPushButton*>("okPushButton"), Qt::LeftButton);
        QCOMPARE(created.count(), 1);
        QCOMPARE(created.first().first().value<QList<int>>(), (QList<int>{1007, 1008, 1009}));
        QCOMPARE(sendInvite(pairRoom, {1008}), 40006);
    }

    // Typing in the search box (a Korean syllable being composed included) filters the rows;
    // the check marks stay with the people chosen.
    void searchKeepsTheChoice()
    {
        const auto shown = shownDialog(QString(), -1);
        QVERIFY(shown);
        ChatInviteDialog& dialog = *shown;
        clickRow(dialog, 1002);
        const QString name = serverUser(1002)["userName"].toString();
        // The first syllable committed, the second still being composed.
        compose(dialog, QString(), name.left(1));
        compose(dialog, name.mid(1, 1), QString());
        const QModelIndex index = dialog.model()->index(dialog.model()->rowOf(1002));
        QCOMPARE(index.data(InviteUserModel::CheckedRole).toBool(), true);
        QCOMPARE(dialog.model()->rowCount(), namesContaining(name.left(2)));
        compose(dialog, QString(), name.mid(1, 1));
        dialog.searchLineEdit()->lineEdit()->clear();
        QCOMPARE(listedIds(dialog), expectedDirectory());
        QCOMPARE(chips(dialog), (QList<qint64>{1002}));
    }

    // A chip's remove button un-chooses its person; a member's chip cannot be used.
    void chipRemoveButton()
    {
        const auto shown = shownDialog(QStringLiteral("1010"), 30);
        QVERIFY(shown);
        ChatInviteDialog& dialog = *shown;
        clickRow(dialog, 1002);
        clickRow(dialog, 1003);
        auto* chosen = dialog.findChild<InviteSelectUserList*>("selectListWidget");
        QCOMPARE(chosen->itemAt(0)->isEnabled(), false);
        QTest::mouseClick(chosen->itemAt(1)->removeButton(), Qt::LeftButton);
        const QModelIndex row = dialog.model()->index(dialog.model()->rowOf(1002));
        QCOMPARE(row.data(InviteUserModel::CheckedRole).toBool(), false);
        QCOMPARE(chips(dialog), (QList<qint64>{1010, 1003}));
        QCOMPARE(dialog.selection().chosen(), (QVector<qint64>{1010, 1003}));
    }

    // Without a directory the dialog opens empty and OK does nothing.
    void withoutDirectory()
    {
        ChatInviteDialog dialog(nullptr, 1);
        QCOMPARE(dialog.setData(QString(), -1), false);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QSignalSpy created(&dialog, &ChatInviteDialog::newChatRoomOk);
        QTest::mouseClick(dialog.findChild<QPushButton*>("okPushButton"), Qt::LeftButton);
        QCOMPARE(dialog.model()->rowCount(), 0);
        QCOMPARE(created.count(), 0);
        QCOMPARE(dialog.isVisible(), true);
    }

    void membersList_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("readers");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("listHeight");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("three members: no scroll bar") << 3 << false << "Members" << 165 << false;
        QTest::newRow("seven members: five rows that scroll")
            << 7 << false << "Members" << 275 << true;
        QTest::newRow("one reader") << 1 << true << "Readers" << 55 << false;
        QTest::newRow("five readers") << 5 << true << "Readers" << 275 << true;
    }
    void membersList()
    {
        QFETCH(int, count);
        QFETCH(bool, readers);
        QFETCH(QString, title);
        QFETCH(int, listHeight);
        QFETCH(bool, scrolls);
        QList<qint64> ids;
        for (int i = 0; i < count; ++i)
            ids << 1002 + i;
        MembersDialog dialog;
        // Readers replace whatever was shown before.
        dialog.setReaders(usersOf({1010}));
        fill(dialog, readers, usersOf(ids));
        QCOMPARE(view(dialog), (MembersView{title, namesOf(ids), listHeight,
                                            listHeight + MembersDialog::kTitleHeight, scrolls}));
    }

    // Shown, the rows fetch the thumbnails that are not cached yet, once each, and a click on a
    // person tells who it was.
    void membersPicturesAndClicks()
    {
        const QList<qint64> ids = farPeopleWithPictures(4);
        const QList<DBUser> users = usersOf(ids);
        const QStringList withPicture = thumbUrls(users);
        QCOMPARE(withPicture.size(), ids.size());
        MembersDialog dialog;
        dialog.setPictureSource(m_session->net());
        QSignalSpy fetched(dialog.findChild<InvitePictures*>(), &InvitePictures::pictureReady);
        QSignalSpy clicked(&dialog, &MembersDialog::memberClicked);
        dialog.setMembers(users);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_COMPARE_WITH_TIMEOUT(fetched.count(), withPicture.size(), 30000);
        QCOMPARE(cachedOf(withPicture), withPicture);
        auto* list = dialog.findChild<QListView*>("membersListView");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(dialog.model()->index(2)).center());
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(qint64(clicked.first().first().toInt()), ids.at(2));
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
