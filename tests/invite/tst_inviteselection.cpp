// The invitation's choice and the directory search without widgets.
#include "common/typed.h"

#include "invite/invitedirectory.h"
#include "invite/inviteselection.h"
#include "invite/inviteusermodel.h"

#include <QtTest>

namespace {
// One step of the user in the dialog: a click on a row, or a chip's remove button.
struct Step
{
    bool click = true;
    qint64 userId = 0;
    bool appInstall = true;
    bool chattAllow = true;
};
Step click(qint64 id, bool install = true, bool allow = true)
{
    return {true, id, install, allow};
}
Step removal(qint64 id)
{
    return {false, id};
}

// The choice after a list of steps, which steps were refused, and what OK leads to.
struct Choice
{
    QVector<qint64> chosen;
    QVector<int> refused; // 1 where the step was refused
    int outcome = InviteOutcome::StayOpen;
    QList<int> outcomeIds;
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
    int availability = 0;
    bool checked = false;
    bool exist = false;
    int flags = 0;
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

Q_DECLARE_METATYPE(StepsRow)
Q_DECLARE_METATYPE(RowState)

class TestInviteSelection : public QObject
{
    Q_OBJECT
    InviteDirectory m_directory;
private slots:
    void initTestCase() { m_directory.setEntries(kPeople); }
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
        QTest::newRow("second click un-chooses")
            << StepsRow{{}, -1, {click(7), click(3), click(7)}, {{3}, {0, 0, 0}, O::NewRoom, {3}}};
        QTest::newRow("chosen and removed by the chip: stays open")
            << StepsRow{{}, -1, {click(7), removal(7)}, {{}, {0, 0}, O::StayOpen, {}}};
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
        for (const Step& step : row.steps) {
            seen.refused << !(step.click ? s.toggle(step.userId, step.appInstall, step.chattAllow)
                                         : s.remove(step.userId));
        }
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
        QTest::newRow("underscore") << QStringList{"_"} << QStringList{"Lee 50%_off"};
        QTest::newRow("quotes") << QStringList{"o'neil \"j"} << QStringList{"O'Neil \"Jo\""};
        QTest::newRow("a pattern") << QStringList{"^k.m"} << kim;
        QTest::newRow("a dot alone makes a pattern") << QStringList{"k.m"} << kim;
        QTest::newRow("escaped dot is a dot") << QStringList{"\\."} << QStringList{"a.b"};
        QTest::newRow("invalid pattern matches nobody") << QStringList{"(kim"} << QStringList{};
        QTest::newRow("typing then erasing: everybody in directory order")
            << QStringList{"k", "ki", "kim", "ki", "k", ""} << everybody;
        QTest::newRow("plain then a pattern")
            << QStringList{"k", "k|", "k|p"}
            << QStringList{"Kim Minsu", "kimberly", "Park Jimin", "Kipling"};
        QTest::newRow("case changes mid-word") << QStringList{"K", "Ki", "KIM"} << kim;
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
        QList<QStringList> typedResults;
        QList<QStringList> freshResults;
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
            << qint64(2) << RowState{S::FixedMember, true, true, 0};
        QTest::newRow("chosen") << qint64(3) << RowState{S::Available, true, false, usable};
        QTest::newRow("refuses chats") << qint64(5) << RowState{S::DeclinesChats, false, false, 0};
        QTest::newRow("not installed and refusing: not installed first")
            << qint64(6) << RowState{S::NotInstalled, false, false, 0};
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
                           model.data(index, InviteUserModel::CheckedRole).toBool(),
                           model.data(index, InviteUserModel::ExistRole).toBool(),
                           int(model.flags(index))}),
                 state);
    }
};

QTEST_GUILESS_MAIN(TestInviteSelection)
#include "tst_inviteselection.moc"
