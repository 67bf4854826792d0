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
    QVector<bool> refused;
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
private slots:
    void steps_data()
    {
        QTest::addColumn<StepsRow>("row");
        using O = InviteOutcome;
        QTest::newRow("new conversation ignores a members text, nobody chosen: stays open")
            << StepsRow{"1003", -1, {}, {{}, {}, O::StayOpen, {}}};
        QTest::newRow("one-to-many: exact ids in order; blanks, junk and repeats left out")
            << StepsRow{" 12, ,x,345,12,",
                        30,
                        {click(34)},
                        {{12, 345, 34}, {false}, O::AddMembers, {34}}};
        QTest::newRow("group room fixes nobody")
            << StepsRow{"1003", 10, {click(1002)}, {{1002}, {false}, O::NewRoom, {1002}}};
        QTest::newRow("one-to-one with a non-number")
            << StepsRow{"abc", 20, {}, {{}, {}, O::StayOpen, {}}};
        QTest::newRow("new conversation, two chosen in order")
            << StepsRow{{},
                        -1,
                        {click(1007), click(1003)},
                        {{1007, 1003}, {false, false}, O::NewRoom, {1007, 1003}}};
        QTest::newRow("second click un-chooses")
            << StepsRow{{},
                        -1,
                        {click(1007), click(1003), click(1007)},
                        {{1003}, {false, false, false}, O::NewRoom, {1003}}};
        QTest::newRow("chosen and removed by the chip: stays open") << StepsRow{
            {}, -1, {click(1007), removal(1007)}, {{}, {false, false}, O::StayOpen, {}}};
        QTest::newRow("not installed and refusing people cannot be chosen")
            << StepsRow{{},
                        -1,
                        {click(1011, false, true), click(1012, true, false), click(1013)},
                        {{1013}, {true, true, false}, O::NewRoom, {1013}}};
        QTest::newRow("removing somebody not chosen is refused")
            << StepsRow{{}, -1, {removal(1005)}, {{}, {true}, O::StayOpen, {}}};
        QTest::newRow("one-to-one: partner first, then the chosen in order")
            << StepsRow{"1002",
                        20,
                        {click(1009), click(1004)},
                        {{1002, 1009, 1004}, {false, false}, O::NewRoom, {1002, 1009, 1004}}};
        QTest::newRow("one-to-one: the partner cannot be un-chosen") << StepsRow{
            "1002", 20, {click(1002), removal(1002)}, {{1002}, {true, true}, O::NewRoom, {1002}}};
        QTest::newRow("left one-to-one: the partner is fixed alike")
            << StepsRow{"1002",
                        40,
                        {click(1002), removal(1002), click(1006)},
                        {{1002, 1006}, {true, true, false}, O::NewRoom, {1002, 1006}}};
        QTest::newRow("one-to-many: only the new people are added")
            << StepsRow{"1002,1003",
                        30,
                        {click(1008), click(1005)},
                        {{1002, 1003, 1008, 1005}, {false, false}, O::AddMembers, {1008, 1005}}};
        QTest::newRow("one-to-many: nobody new closes and sends nothing")
            << StepsRow{"1002,1003",
                        30,
                        {click(1008), click(1008)},
                        {{1002, 1003}, {false, false}, O::CloseOnly, {}}};
        QTest::newRow("one-to-many: members cannot be removed")
            << StepsRow{"1002,1003",
                        30,
                        {removal(1003), click(1002)},
                        {{1002, 1003}, {true, true}, O::CloseOnly, {}}};
        QTest::newRow("one-to-many without members text: a new room")
            << StepsRow{{}, 30, {click(1008)}, {{1008}, {false}, O::NewRoom, {1008}}};
    }
    void steps()
    {
        QFETCH(StepsRow, row);
        InviteSelection s;
        s.toggle(1, true, true);
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
    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        const QStringList everybody{"Kim Minsu",  "kimberly", "Lee 50%_off",  "박지민",
                                    "Park Jimin", "a.b",      "O'Neil \"Jo\""};
        QTest::newRow("empty: everybody in directory order") << QString() << everybody;
        QTest::newRow("lower case finds any case anywhere")
            << "kim" << QStringList{"Kim Minsu", "kimberly"};
        QTest::newRow("upper case as well") << "MIN" << QStringList{"Kim Minsu", "Park Jimin"};
        QTest::newRow("Korean syllable") << "지" << QStringList{"박지민"};
        QTest::newRow("percent and underscore") << "50%_" << QStringList{"Lee 50%_off"};
        QTest::newRow("a lone percent") << "%" << QStringList{"Lee 50%_off"};
        QTest::newRow("quotes") << "o'neil \"j" << QStringList{"O'Neil \"Jo\""};
        QTest::newRow("a pattern") << "^k.m" << QStringList{"Kim Minsu", "kimberly"};
        QTest::newRow("dot is a pattern") << "." << everybody;
        QTest::newRow("escaped dot is a dot") << "\\." << QStringList{"a.b"};
        QTest::newRow("invalid pattern matches nobody") << "(kim" << QStringList{};
        QTest::newRow("nobody") << "zzz" << QStringList{};
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        InviteDirectory d;
        d.setEntries({person(1, "Kim Minsu"), person(2, "kimberly"), person(3, "Lee 50%_off"),
                      person(4, "박지민"), person(5, "Park Jimin"), person(6, "a.b"),
                      person(7, "O'Neil \"Jo\"")});
        InviteSelection s;
        InviteUserModel model(&d, &s);
        model.reload();
        model.setSearchText(text);
        QCOMPARE(shownNames(model), names);
    }

    // Narrowing while typing must equal a fresh search at every keystroke.
    void typingMatchesFreshSearch_data()
    {
        QTest::addColumn<QStringList>("keystrokes");
        QTest::newRow("typing a name") << QStringList{"p", "pa", "par", "park"};
        QTest::newRow("typing then erasing") << QStringList{"k", "ki", "kim", "ki", "k", ""};
        QTest::newRow("plain then a pattern") << QStringList{"k", "k|", "k|p"};
        QTest::newRow("case changes mid-word") << QStringList{"K", "Ki", "KIM"};
    }
    void typingMatchesFreshSearch()
    {
        QFETCH(QStringList, keystrokes);
        InviteDirectory d;
        d.setEntries({person(1, "Kim Minsu"), person(2, "kimberly"), person(3, "Park Jimin"),
                      person(4, "Pak"), person(5, "Kipling")});
        InviteSelection s;
        InviteUserModel typed(&d, &s);
        typed.reload();
        QList<QStringList> typedResults;
        QList<QStringList> freshResults;
        for (const QString& text : keystrokes) {
            typed.setSearchText(text);
            InviteUserModel fresh(&d, &s);
            fresh.reload();
            fresh.setSearchText(text);
            typedResults << shownNames(typed);
            freshResults << shownNames(fresh);
        }
        QCOMPARE(typedResults, freshResults);
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
        QTest::newRow("not chosen") << qint64(1) << RowState{S::Available, false, false, usable};
        QTest::newRow("not installed") << qint64(4) << RowState{S::NotInstalled, false, false, 0};
        QTest::newRow("refuses chats") << qint64(5) << RowState{S::DeclinesChats, false, false, 0};
        QTest::newRow("not installed and refusing: not installed first")
            << qint64(6) << RowState{S::NotInstalled, false, false, 0};
    }
    void rowsFollowTheChoice()
    {
        QFETCH(qint64, userId);
        QFETCH(RowState, state);
        InviteDirectory d;
        d.setEntries({person(1, "a"), person(2, "b", false, false), person(3, "c"),
                      person(4, "d", false), person(5, "e", true, false),
                      person(6, "f", false, false)});
        InviteSelection s;
        s.setRoom(QStringLiteral("2"), 30);
        s.toggle(3, true, true);
        InviteUserModel model(&d, &s);
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
