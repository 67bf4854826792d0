#include "invite/invitedirectory.h"
#include "invite/inviteselection.h"
#include "invite/inviteusermodel.h"

#include <QtTest>

namespace {
// One step of the user in the dialog: a click on a row, or a chip's remove button.
struct Step
{
    enum Kind
    {
        Click,
        Remove
    };
    Kind kind = Click;
    qint64 userId = 0;
    bool appInstall = true;
    bool chattAllow = true;
    bool accepted = true; // whether the step changes the choice
};

// The choice after a list of steps, and the OK button's outcome.
struct Choice
{
    QVector<qint64> chosen;
    QVector<bool> refused; // per step: true when the step was refused
    InviteOutcome outcome;
    bool operator==(const Choice& o) const
    {
        return chosen == o.chosen && refused == o.refused && outcome == o.outcome;
    }
};

Choice run(InviteSelection& s, const QVector<Step>& steps)
{
    Choice c;
    for (const Step& step : steps) {
        const bool done = step.kind == Step::Click
                              ? s.toggle(step.userId, step.appInstall, step.chattAllow)
                              : s.remove(step.userId);
        c.refused.append(!done);
    }
    c.chosen = s.chosen();
    c.outcome = s.outcome();
    return c;
}

Step click(qint64 id, bool install = true, bool allow = true)
{
    return {Step::Click, id, install, allow};
}
Step removal(qint64 id)
{
    return {Step::Remove, id};
}

QString idsText(const QVector<qint64>& ids)
{
    QStringList parts;
    for (qint64 id : ids)
        parts << QString::number(id);
    return parts.join(QLatin1Char(' '));
}

InviteEntry person(qint64 id, const QString& name, bool install = true, bool allow = true)
{
    return {id, name, QStringLiteral("dept"), QString(), install, allow};
}

// The names of the shown rows of a model.
QStringList shownNames(const InviteUserModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.data(model.index(row), InviteUserModel::UserNameRole).toString();
    return names;
}
} // namespace

Q_DECLARE_METATYPE(Choice)
Q_DECLARE_METATYPE(QVector<Step>)
Q_DECLARE_METATYPE(InviteOutcome)
namespace QTest {
template <>
inline char* toString(const InviteOutcome& o)
{
    static const char* kinds[] = {"StayOpen", "CloseOnly", "NewRoom", "AddMembers"};
    QStringList ids;
    for (int id : o.userIds)
        ids << QString::number(id);
    return qstrdup(qPrintable(QStringLiteral("%1[%2]").arg(kinds[o.kind], ids.join(' '))));
}
template <>
inline char* toString(const Choice& c)
{
    QStringList refused;
    for (bool r : c.refused)
        refused << (r ? "refused" : "done");
    char* outcome = toString(c.outcome);
    const QString text =
        QStringLiteral("chosen=[%1] steps=[%2] outcome=%3")
            .arg(idsText(c.chosen), refused.join(' '), QString::fromLatin1(outcome));
    delete[] outcome;
    return qstrdup(qPrintable(text));
}
} // namespace QTest

// The invitation's choice without widgets: members fixed per room type, who can be chosen, the
// steps of choosing and removing, what OK leads to; the directory search.
class TestInviteSelection : public QObject
{
    Q_OBJECT
private slots:
    void fixedMembers_data()
    {
        QTest::addColumn<QString>("members");
        QTest::addColumn<int>("roomType");
        QTest::addColumn<QVector<qint64>>("fixed");
        QTest::newRow("new conversation") << QString() << -1 << QVector<qint64>{};
        QTest::newRow("new conversation ignores a members text")
            << "1003" << -1 << QVector<qint64>{};
        QTest::newRow("one-to-one: the partner") << "1003" << 20 << QVector<qint64>{1003};
        QTest::newRow("left one-to-one: the partner as well")
            << "1003" << 40 << QVector<qint64>{1003};
        QTest::newRow("one-to-many: every member in order")
            << "1005,1002,1009" << 30 << QVector<qint64>{1005, 1002, 1009};
        QTest::newRow("one-to-many: exact ids, no substrings")
            << "12,345" << 30 << QVector<qint64>{12, 345};
        QTest::newRow("one-to-many: blanks, empties, junk and repeats left out")
            << " 7, ,x,7,8," << 30 << QVector<qint64>{7, 8};
        QTest::newRow("one-to-many without members") << QString() << 30 << QVector<qint64>{};
        QTest::newRow("group room fixes nobody") << "1003" << 10 << QVector<qint64>{};
        QTest::newRow("one-to-one with a non-number") << "abc" << 20 << QVector<qint64>{};
    }
    void fixedMembers()
    {
        QFETCH(QString, members);
        QFETCH(int, roomType);
        QFETCH(QVector<qint64>, fixed);
        InviteSelection s;
        s.setRoom(members, roomType);
        QCOMPARE(s.fixedIds(), fixed);
        QCOMPARE(s.chosen(), fixed);
    }

    void memberMatchIsExact()
    {
        InviteSelection s;
        s.setRoom(QStringLiteral("12,345"), 30);
        QCOMPARE(s.isFixed(34), false);
    }

    void availability_data()
    {
        QTest::addColumn<bool>("appInstall");
        QTest::addColumn<bool>("chattAllow");
        QTest::addColumn<bool>("fixed");
        QTest::addColumn<int>("expected");
        QTest::newRow("installed, accepts chats")
            << true << true << false << int(InviteSelection::Available);
        QTest::newRow("not installed")
            << false << true << false << int(InviteSelection::NotInstalled);
        QTest::newRow("not installed and refusing: not installed first")
            << false << false << false << int(InviteSelection::NotInstalled);
        QTest::newRow("refuses chats")
            << true << false << false << int(InviteSelection::DeclinesChats);
        QTest::newRow("member of the room, whatever the flags")
            << false << false << true << int(InviteSelection::FixedMember);
    }
    void availability()
    {
        QFETCH(bool, appInstall);
        QFETCH(bool, chattAllow);
        QFETCH(bool, fixed);
        QFETCH(int, expected);
        QCOMPARE(int(InviteSelection::availability(appInstall, chattAllow, fixed)), expected);
    }

    void steps_data()
    {
        QTest::addColumn<QString>("members");
        QTest::addColumn<int>("roomType");
        QTest::addColumn<QVector<Step>>("steps");
        QTest::addColumn<Choice>("expected");
        using O = InviteOutcome;
        QTest::newRow("new conversation, nobody chosen: stays open")
            << QString() << -1 << QVector<Step>{} << Choice{{}, {}, {O::StayOpen, {}}};
        QTest::newRow("new conversation, two chosen in order")
            << QString() << -1 << QVector<Step>{click(1007), click(1003)}
            << Choice{{1007, 1003}, {false, false}, {O::NewRoom, {1007, 1003}}};
        QTest::newRow("second click un-chooses")
            << QString() << -1 << QVector<Step>{click(1007), click(1003), click(1007)}
            << Choice{{1003}, {false, false, false}, {O::NewRoom, {1003}}};
        QTest::newRow("chosen and removed by the chip: stays open")
            << QString() << -1 << QVector<Step>{click(1007), removal(1007)}
            << Choice{{}, {false, false}, {O::StayOpen, {}}};
        QTest::newRow("not installed and refusing people cannot be chosen")
            << QString() << -1
            << QVector<Step>{click(1011, false, true), click(1012, true, false), click(1013)}
            << Choice{{1013}, {true, true, false}, {O::NewRoom, {1013}}};
        QTest::newRow("removing somebody not chosen is refused")
            << QString() << -1 << QVector<Step>{removal(1005)}
            << Choice{{}, {true}, {O::StayOpen, {}}};
        QTest::newRow("one-to-one: partner first, then the chosen in order")
            << "1002" << 20 << QVector<Step>{click(1009), click(1004)}
            << Choice{{1002, 1009, 1004}, {false, false}, {O::NewRoom, {1002, 1009, 1004}}};
        QTest::newRow("one-to-one: the partner cannot be un-chosen")
            << "1002" << 20 << QVector<Step>{click(1002), removal(1002)}
            << Choice{{1002}, {true, true}, {O::NewRoom, {1002}}};
        QTest::newRow("left one-to-one: the partner is fixed alike")
            << "1002" << 40 << QVector<Step>{click(1002), removal(1002), click(1006)}
            << Choice{{1002, 1006}, {true, true, false}, {O::NewRoom, {1002, 1006}}};
        QTest::newRow("one-to-many: only the new people are added")
            << "1002,1003" << 30 << QVector<Step>{click(1008), click(1005)}
            << Choice{{1002, 1003, 1008, 1005}, {false, false}, {O::AddMembers, {1008, 1005}}};
        QTest::newRow("one-to-many: nobody new closes and sends nothing")
            << "1002,1003" << 30 << QVector<Step>{click(1008), click(1008)}
            << Choice{{1002, 1003}, {false, false}, {O::CloseOnly, {}}};
        QTest::newRow("one-to-many: members cannot be removed")
            << "1002,1003" << 30 << QVector<Step>{removal(1003), click(1002)}
            << Choice{{1002, 1003}, {true, true}, {O::CloseOnly, {}}};
        QTest::newRow("one-to-many without members text: a new room")
            << QString() << 30 << QVector<Step>{click(1008)}
            << Choice{{1008}, {false}, {O::NewRoom, {1008}}};
    }
    void steps()
    {
        QFETCH(QString, members);
        QFETCH(int, roomType);
        QFETCH(QVector<Step>, steps);
        QFETCH(Choice, expected);
        InviteSelection s;
        s.setRoom(members, roomType);
        QCOMPARE(run(s, steps), expected);
    }

    void setRoomStartsAfresh()
    {
        InviteSelection s;
        s.setRoom(QStringLiteral("1002"), 20);
        s.toggle(1005, true, true);
        s.setRoom(QStringLiteral("1003,1004"), 30);
        QCOMPARE(s.chosen(), (QVector<qint64>{1003, 1004}));
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("empty: everybody in directory order")
            << QString()
            << QStringList{"Kim Minsu", "kimberly", "Lee 50%_off", "박지민", "Park Jimin", "a.b"};
        QTest::newRow("lower case finds any case anywhere")
            << "kim" << QStringList{"Kim Minsu", "kimberly"};
        QTest::newRow("upper case as well") << "MIN" << QStringList{"Kim Minsu", "Park Jimin"};
        QTest::newRow("Korean syllable") << "지" << QStringList{"박지민"};
        QTest::newRow("percent and underscore are plain characters")
            << "50%_" << QStringList{"Lee 50%_off"};
        QTest::newRow("a pattern") << "^k.m" << QStringList{"Kim Minsu", "kimberly"};
        QTest::newRow("dot is a pattern")
            << "."
            << QStringList{"Kim Minsu", "kimberly", "Lee 50%_off", "박지민", "Park Jimin", "a.b"};
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
                      person(4, "박지민"), person(5, "Park Jimin"), person(6, "a.b")});
        InviteSelection s;
        InviteUserModel model(&d, &s);
        model.reload();
        model.setSearchText(text);
        QCOMPARE(shownNames(model), names);
    }

    // Typing letter by letter narrows within the shown rows; the result must equal a search
    // from scratch at every step, also when the text stops being plain or is cut back.
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
        const QVector<InviteEntry> people{person(1, "Kim Minsu"), person(2, "kimberly"),
                                          person(3, "Park Jimin"), person(4, "Pak"),
                                          person(5, "Kipling")};
        InviteDirectory d;
        d.setEntries(people);
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

    // The model's check marks and flags come from the choice.
    void rowsFollowTheChoice_data()
    {
        QTest::addColumn<qint64>("userId");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("exist");
        QTest::addColumn<int>("flags");
        const int usable = int(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        QTest::newRow("member: checked, fixed, no flags") << qint64(2) << true << true << 0;
        QTest::newRow("chosen: checked, usable") << qint64(3) << true << false << usable;
        QTest::newRow("not chosen: usable") << qint64(1) << false << false << usable;
        QTest::newRow("not installed: no flags") << qint64(4) << false << false << 0;
        QTest::newRow("refuses chats: no flags") << qint64(5) << false << false << 0;
    }
    void rowsFollowTheChoice()
    {
        QFETCH(qint64, userId);
        QFETCH(bool, checked);
        QFETCH(bool, exist);
        QFETCH(int, flags);
        InviteDirectory d;
        d.setEntries({person(1, "a"), person(2, "b"), person(3, "c"), person(4, "d", false),
                      person(5, "e", true, false)});
        InviteSelection s;
        s.setRoom(QStringLiteral("2"), 30);
        s.toggle(3, true, true);
        InviteUserModel model(&d, &s);
        model.reload();
        const QModelIndex index = model.index(model.rowOf(userId));
        QCOMPARE(model.data(index, InviteUserModel::CheckedRole).toBool(), checked);
        QCOMPARE(model.data(index, InviteUserModel::ExistRole).toBool(), exist);
        QCOMPARE(int(model.flags(index)), flags);
    }
};

QTEST_GUILESS_MAIN(TestInviteSelection)
#include "tst_inviteselection.moc"
