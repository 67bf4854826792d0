// The invitation's choice and the directory search without widgets; the invitation dialog over a
// real login's directory, against the reference server.
#include "common/devserver.h"
#include "common/loggedin.h"
#include "common/testenv.h"
#include "common/typed.h"

#include "invite/chatinvitedialog.h"
#include "invite/chatinviteselectitem.h"
#include "invite/invitedirectory.h"
#include "invite/inviteselection.h"
#include "invite/inviteselectuserlist.h"
#include "invite/inviteusermodel.h"
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
struct Seen
{
    QList<QList<int>> added, created;
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
// One step of the user in the dialog: a click on a row, or a chip's remove button.
struct Step
{
    qint64 userId = 0;
    bool click = true, appInstall = true, chattAllow = true;
};
Step click(qint64 id, bool install = true, bool allow = true)
{
    return {id, true, install, allow};
}
Step removal(qint64 id)
{
    return {id, false};
}

// The choice after a list of steps, which steps were refused, and what OK leads to.
struct Choice
{
    QVector<qint64> chosen;
    QVector<int> refused; // 1 where the step was refused
    int outcome = InviteOutcome::StayOpen;
    QList<int> outcomeIds = {};
    MT_TYPED(Choice, chosen, refused, outcome, outcomeIds)
};
struct StepsRow
{
    QString members;
    int roomType = InviteSelection::kNewConversation;
    QVector<Step> steps;
    Choice expected;
};

// A row of the model: checked, a member of the room, and its flags.
struct RowState
{
    int availability = 0, flags = 0;
    bool checked = false, exist = false;
    MT_TYPED(RowState, availability, checked, exist, flags)
};

InviteEntry person(qint64 id, const QString& name, bool install = true, bool allow = true)
{
    return {id, name, QStringLiteral("dept"), QString(), install, allow};
}

// The people every search and row case looks at: 2 and 6 neither installed nor accepting chats,
// 4 not installed, 5 refusing chats.
const QVector<InviteEntry> kPeople{person(1, "Kim Minsu"),
                                   person(2, "kimberly", false, false),
                                   person(3, "Lee 50%_off"),
                                   person(4, "박지민", false),
                                   person(5, "Park Jimin", true, false),
                                   person(6, "a.b", false, false),
                                   person(7, "O'Neil \"Jo\""),
                                   person(8, "Kipling")};

QStringList shownNames(const InviteUserModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.data(model.index(row), InviteUserModel::UserNameRole).toString();
    return names;
}
} // namespace

Q_DECLARE_METATYPE(OkRow)
Q_DECLARE_METATYPE(StepsRow)
Q_DECLARE_METATYPE(RowState)

class TestInviteDialog : public QObject
{
    Q_OBJECT
private:
    TestEnv m_env;
    DevServer m_server;
    std::unique_ptr<LoggedIn> m_login;
    QJsonArray m_users;          // the server's directory
    InviteDirectory m_directory; // kPeople, for the choice and the search without widgets

    qint64 ownId() const { return m_login->session->mtData()->userId(); }
    // The first active person who has installed the client or not, and accepts chats or not.
    qint64 firstWith(bool installed, bool allows) const
    {
        const auto it = std::find_if(m_users.begin(), m_users.end(), [&](const QJsonValue& v) {
            return (v["appInstallYn"].toString() == "1") == installed &&
                   (v["chattingAllowYn"].toString() == "1") == allows && v["state"] != "D" &&
                   idOf(v["userId"]) != ownId();
        });
        return it == m_users.end() ? 0 : idOf((*it)["userId"]);
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
        m_directory.setEntries(kPeople);
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
        QTest::newRow("one-to-many") << OkRow{"1003,1004", 30, {a, n, d}, {{{a}}, {}, false}};
        QTest::newRow("one-to-many, nobody new") << OkRow{"1003,1004", 30, {n, d}, {}};
        QTest::newRow("one-to-one") << OkRow{"1007", 20, {1007, a}, {{}, {{1007, a}}, false}};
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
            QList<QList<int>> out;
            for (const QList<QVariant>& args : spy)
                out << args.at(0).value<QList<int>>();
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
        user.setUserName(QStringLiteral("<b>Bold</b> <img src=x>"));
        ChatInviteSelectItem chip(user);
        const auto* label = chip.findChild<QLabel*>("selectUserNamelabel");
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), user.userName());
    }
    void steps_data()
    {
        QTest::addColumn<StepsRow>("row");
        using O = InviteOutcome;
        QTest::newRow("new conversation ignores a members text, nobody chosen: stays open")
            << StepsRow{"3", -1, {}, {{}, {}, O::StayOpen, {}}};
        QTest::newRow("one-to-many: exact ids in order; blanks, junk and repeats left out")
            << StepsRow{" 12, ,x,345,12,",
                        30,
                        {click(34), click(5)},
                        {{12, 345, 34, 5}, {0, 0}, O::AddMembers, {34, 5}}};
        QTest::newRow("group room fixes nobody")
            << StepsRow{"3", 10, {click(2)}, {{2}, {0}, O::NewRoom, {2}}};
        QTest::newRow("a second click or the chip un-chooses; nobody left: stays open")
            << StepsRow{{}, -1, {click(7), click(3), click(7), removal(3)}, {{}, {0, 0, 0, 0}}};
        QTest::newRow("not installed and refusing people cannot be chosen")
            << StepsRow{{},
                        -1,
                        {click(11, false), click(12, true, false), click(13)},
                        {{13}, {1, 1, 0}, O::NewRoom, {13}}};
        QTest::newRow("one-to-one: partner first, then the chosen in order")
            << StepsRow{"2", 20, {click(9), click(4)}, {{2, 9, 4}, {0, 0}, O::NewRoom, {2, 9, 4}}};
        QTest::newRow("left one-to-one: the partner is fixed alike") << StepsRow{
            "2", 40, {click(2), removal(2), click(6)}, {{2, 6}, {1, 1, 0}, O::NewRoom, {2, 6}}};
        QTest::newRow("one-to-many: members stay, nobody new closes and sends nothing")
            << StepsRow{"2,3",
                        30,
                        {removal(3), click(2), click(8), click(8)},
                        {{2, 3}, {1, 1, 0, 0}, O::CloseOnly, {}}};
    }
    void steps()
    {
        QFETCH(StepsRow, row);
        InviteSelection s;
        s.toggle(99, true, true);
        s.setRoom(row.members, row.roomType);
        Choice seen;
        for (const Step& step : row.steps)
            seen.refused << !(step.click ? s.toggle(step.userId, step.appInstall, step.chattAllow)
                                         : s.remove(step.userId));
        seen.chosen = s.chosen();
        seen.outcome = s.outcome().kind;
        seen.outcomeIds = s.outcome().userIds;
        QCOMPARE(seen, row.expected);
    }

    // Any case, anywhere; %, _ and quotes are plain; patterns work and a broken one finds nobody.
    // Typed a keystroke at a time, the list at every keystroke is that of a fresh search.
    void search_data()
    {
        QTest::addColumn<QStringList>("keystrokes");
        QTest::addColumn<QStringList>("names"); // after the last keystroke
        const QStringList everybody{"Kim Minsu",  "kimberly", "Lee 50%_off",   "박지민",
                                    "Park Jimin", "a.b",      "O'Neil \"Jo\"", "Kipling"};
        const QStringList kim{"Kim Minsu", "kimberly"};
        QTest::newRow("percent") << QStringList{"%"} << QStringList{"Lee 50%_off"};
        QTest::newRow("a dot alone makes a pattern") << QStringList{"k.m"} << kim;
        QTest::newRow("escaped dot is a dot") << QStringList{"\\."} << QStringList{"a.b"};
        QTest::newRow("invalid pattern matches nobody") << QStringList{"(kim"} << QStringList{};
        QTest::newRow("typing then erasing: everybody in directory order")
            << QStringList{"k", "ki", "kim", "ki", "k", ""} << everybody;
        QTest::newRow("plain then a pattern")
            << QStringList{"k", "k|", "k|p"}
            << QStringList{"Kim Minsu", "kimberly", "Park Jimin", "Kipling"};
        QTest::newRow("erasing, then another letter; lower case finds any case anywhere")
            << QStringList{"k", "ki", "kim", "ki", "kip", "k", "kim"} << kim;
    }
    void search()
    {
        QFETCH(QStringList, keystrokes);
        QFETCH(QStringList, names);
        InviteSelection s;
        InviteUserModel typed(&m_directory, &s);
        typed.reload();
        QList<QStringList> typedResults, freshResults;
        for (const QString& text : keystrokes) {
            typed.setSearchText(text);
            InviteUserModel fresh(&m_directory, &s);
            fresh.reload();
            fresh.setSearchText(text);
            typedResults << shownNames(typed);
            freshResults << shownNames(fresh);
        }
        QCOMPARE(typedResults, freshResults);
        QCOMPARE(freshResults.constLast(), names);
    }

    // Why a person can or cannot be chosen, and the model's check marks and flags.
    void rowsFollowTheChoice_data()
    {
        QTest::addColumn<qint64>("userId");
        QTest::addColumn<RowState>("state");
        using S = InviteSelection;
        const int usable = int(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        QTest::newRow("member, whatever the flags")
            << qint64(2) << RowState{S::FixedMember, 0, true, true};
        QTest::newRow("chosen") << qint64(3) << RowState{S::Available, usable, true, false};
        QTest::newRow("refuses chats") << qint64(5) << RowState{S::DeclinesChats, 0, false, false};
        QTest::newRow("not installed and refusing: not installed first")
            << qint64(6) << RowState{S::NotInstalled, 0, false, false};
    }
    void rowsFollowTheChoice()
    {
        QFETCH(qint64, userId);
        QFETCH(RowState, state);
        InviteSelection s;
        s.setRoom(QStringLiteral("2"), 30);
        s.toggle(3, true, true);
        InviteUserModel model(&m_directory, &s);
        model.reload();
        const QModelIndex index = model.index(model.rowOf(userId));
        QCOMPARE((RowState{model.data(index, InviteUserModel::AvailabilityRole).toInt(),
                           int(model.flags(index)),
                           model.data(index, InviteUserModel::CheckedRole).toBool(),
                           model.data(index, InviteUserModel::ExistRole).toBool()}),
                 state);
    }
};

QTEST_MAIN(TestInviteDialog)
#include "tst_invitedialog.moc"
