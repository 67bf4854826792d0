// The whole program as a screen reader (pyatspi) and a keyboard user meet it, in both languages.
#include "common/appclient.h"
#include "common/childprocess.h"
#include "common/devserver.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/wait.h"
#include "common/xsession.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

#include <limits>

#include <unistd.h>

namespace {
constexpr int kWait = 20000;
// The idle lock preset below (a minute), and the wait for what it does.
constexpr int kIdleLock = 60000 + kWait;

// A journey's language, its account and the person it invites, and the script of the names the
// screen reader gets.
struct Journey
{
    QByteArray locale;
    QString account, invitee;
    QChar::Script script;
};

// One object as a screen reader gets it (`text`: what a text field holds).
struct Node
{
    QString path, window, role, name, description, text;
    MT_TYPED(Node, path, window, role, name, description, text)
};

// What a room's row says after the newest chat, once it shows it; nothing when it counts no unread.
struct RowTail
{
    bool shown = false;
    QString after;
    MT_TYPED(RowTail, shown, after)
};

QString parentPath(const QString& path)
{
    return path.section(QLatin1Char('/'), 0, -2);
}

// The same control within its window: windows move among the program's as toasts come and go.
Node inWindow(Node node)
{
    node.path = node.path.section(QLatin1Char('/'), 1);
    return node;
}

// The nodes beside `row` (as inWindow gives it): in its window, under the same parent.
QVector<Node> besides(QVector<Node> nodes, const Node& row)
{
    nodes.erase(std::remove_if(nodes.begin(), nodes.end(),
                               [&](const Node& n) {
                                   return n.window != row.window ||
                                          parentPath(inWindow(n).path) != parentPath(row.path);
                               }),
                nodes.end());
    return nodes;
}
} // namespace
Q_DECLARE_METATYPE(Journey)

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void journeys_data();
    void journeys();

    // The version refusal of a row that stopped early goes with it.
    void cleanup() { QVERIFY(m_server.clearUpdate()); }
    void cleanupTestCase() { ChildProcess::stop(m_bus); }

private:
    QProcess* atspi(const QString& command);
    // What atspi.py prints for the command (tree, controls, unnamed or focus).
    QVector<Node> read(const QString& command);
    // Whether a control that shows now matches.
    template <typename Match>
    bool shows(Match match)
    {
        const QVector<Node> all = read(QStringLiteral("controls"));
        return std::any_of(all.cbegin(), all.cend(), match);
    }
    // The reachable controls a screen reader cannot name in words.
    QVector<Node> unnamed() { return read(QStringLiteral("unnamed")); }
    Node focus() { return read(QStringLiteral("focus")).value(0); }
    bool focusOn(const char* role, int timeoutMs = kWait)
    {
        return waitUntil([&] { return focus().role == QLatin1String(role); }, timeoutMs);
    }
    // The window that the keys open; empty when none comes.
    static QString opens(const AppClient& client, const QString& keys)
    {
        const QStringList before = client.visibleWindows();
        return client.keyToActive(keys) ? client.awaitNewWindow(before) : QString();
    }
    // A dbus-send on the session bus until it succeeds and prints `answer`.
    bool dbusSend(const QStringList& args, const QByteArray& answer = QByteArray())
    {
        return waitUntil([&] {
            QProcess send;
            send.start(QStringLiteral("dbus-send"),
                       QStringList{"--session", "--print-reply"} + args);
            return send.waitForFinished() && send.exitCode() == 0 &&
                   send.readAllStandardOutput().contains(answer);
        });
    }

    std::unique_ptr<XSession> m_x;
    DevServer m_server;
    TestEnv m_home;
    QProcess m_bus;
    qint64 m_pid = 0;
};

QProcess* TestAccessibility::atspi(const QString& command)
{
    auto* process = new QProcess(this);
    process->setProcessEnvironment(m_x->environment(m_home.processEnvironment()));
    process->start(QStringLiteral("/usr/bin/python3"),
                   {TestEnv::sourceDir() + QStringLiteral("/tests/accessibility/atspi.py"), command,
                    QString::number(m_pid)});
    return process;
}

QVector<Node> TestAccessibility::read(const QString& command)
{
    std::unique_ptr<QProcess> process(atspi(command));
    process->waitForFinished(kWait);
    QVector<Node> nodes;
    for (const QByteArray& line : process->readAllStandardOutput().split('\n')) {
        const QJsonObject row = QJsonDocument::fromJson(line).object();
        if (!line.isEmpty())
            nodes << Node{row["path"].toString(),        row["window"].toString(),
                          row["role"].toString(),        row["name"].toString(),
                          row["description"].toString(), row["text"].toString()};
    }
    return nodes;
}

void TestAccessibility::initTestCase()
{
    m_x = std::make_unique<XSession>(true, true);
    QVERIFY2(m_x->isValid(), qPrintable(m_x->errorString()));
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    // The launcher names its bus on the root window, where Qt looks first.
    m_bus.setProcessEnvironment(m_x->environment(m_home.processEnvironment()));
    m_bus.start(QStringLiteral("/usr/libexec/at-spi-bus-launcher"), {"--launch-immediately"});
    QVERIFY(m_bus.waitForStarted());
    // Asked before the launcher owns its name, the bus would start a second one by activation.
    QVERIFY(dbusSend({"--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                      "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"},
                     "true"));
    // As a screen reader switches accessibility on.
    for (const char* property : {"IsEnabled", "ScreenReaderEnabled"}) {
        QVERIFY(dbusSend({"--dest=org.a11y.Bus", "/org/a11y/bus",
                          "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                          QStringLiteral("string:") + property, "variant:boolean:true"}));
    }
}

void TestAccessibility::journeys_data()
{
    QTest::addColumn<Journey>("row");
    QTest::newRow("English") << Journey{"C.UTF-8", "user002", "user016", QChar::Script_Latin};
    QTest::newRow("Korean") << Journey{"ko_KR.UTF-8", "user003", "user021", QChar::Script_Hangul};
}

// The user's journey by keys, every window's tree named in words.
void TestAccessibility::journeys()
{
    QFETCH(Journey, row);
    const QString account = row.account;
    // The test home sets LANG; LC_MESSAGES, which it keeps, names the language before it.
    qputenv("LC_MESSAGES", row.locale);
    AppClient client(*m_x, m_server);
    // The shortest idle time the settings offer: a minute.
    client.presetSetting(QStringLiteral("Settings/AutoLock"), 1);
    QVERIFY(client.start());
    m_pid = client.pid();
    const QString main = client.mainWindow();
    // The keys, then until `done` holds.
    const auto press = [&](const QString& keys, const std::function<bool()>& done) {
        return client.keyToActive(keys) && waitUntil(done);
    };
    // A busy machine can take a while before a new program's tree is on the accessibility bus.
    QVERIFY(client.typeInto(main, QString(), QString()) && focusOn("text", 3 * kWait));
    QVERIFY2(waitUntil([&] {
                 const QString name = focus().name;
                 return !name.isEmpty() && name.at(0).script() == row.script;
             }),
             "the account field is not named in the row's language");
    QCOMPARE(unnamed(), QVector<Node>());

    // Return with empty fields: the box that says so is an alert, read out with its text.
    QVERIFY(client.keyToActive(QStringLiteral("Tab Return")) && focusOn("push button"));
    QCOMPARE(unnamed(), QVector<Node>());
    QVERIFY(shows([](const Node& n) { return n.role == "alert" && !n.name.isEmpty(); }));
    QVERIFY(client.keyToActive(QStringLiteral("Return")) && focusOn("password text"));
    QVERIFY(client.keyToActive(QStringLiteral("shift+Tab")));
    QVERIFY(client.typeInto(main, account, QStringLiteral("Tab")));
    QVERIFY(client.typeInto(main, DevServer::kPassword, QStringLiteral("Return")));
    QVERIFY2(focusOn("list item"), "the room list did not take the keys");
    QCOMPARE(unnamed(), QVector<Node>());

    // A room's row says its newest chat and its unread count.
    const qint64 userId = m_server.userId(account);
    const DevRoom room = m_server.rooms(userId, true).value(0);
    const qint64 other = room.otherThan(userId);
    const QString tag = QStringLiteral("unread-%1").arg(account);
    QVERIFY(m_server.chats(room.roomId, other, tag, 3));
    const QRegularExpression unreadRow(tag + QStringLiteral(" 3\\D+3\\D*$"));
    const Node listRow = inWindow(focus());
    // The rows of the main window's room list, whichever window has the keys.
    const auto rows = [&] { return besides(read(QStringLiteral("controls")), listRow); };
    // What the row of a chat says after it, once it shows it.
    const auto after = [&](const QString& chat) {
        RowTail tail;
        waitUntil([&] {
            for (const Node& n : rows())
                tail = n.name.contains(chat) ? RowTail{true, n.name.section(chat, 1)} : tail;
            return tail.shown;
        });
        return tail;
    };
    QVERIFY(waitUntil([&] { return rows().value(0).name.contains(unreadRow); }));
    // The toast that tells of the chats is an alert that says the newest.
    const QString newest = tag + QStringLiteral(" 3");
    QVERIFY2(waitUntil([&] {
                 return shows([&](const Node& n) {
                     return n.role == "alert" && !n.name.isEmpty() && n.description == newest;
                 });
             }),
             "no toast read out with the newest chat");

    // Arrows move through the rooms; Return opens the one with the keyboard.
    QVERIFY(
        press(QStringLiteral("Home Down"), [&] { return focus().name == rows().value(1).name; }));
    QVERIFY(press(QStringLiteral("Up"), [&] { return focus().name.contains(unreadRow); }));
    // The program hears of a new listener on the bus later than the listener does; listening
    // from before the room opens leaves it the time to.
    std::unique_ptr<QProcess> listener(atspi(QStringLiteral("listen")));
    QVERIFY(listener->waitForReadyRead(kWait));
    const QString window = opens(client, QStringLiteral("Return"));
    QVERIFY(!window.isEmpty() && focusOn("text"));
    const Node input = inWindow(focus());
    QCOMPARE(unnamed(), QVector<Node>());

    // A chat arriving in the open room is announced as a new row; the keys stay in the input.
    const QString arrived = QStringLiteral("arrived-%1").arg(account);
    QVERIFY(!m_server.chat(room.roomId, other, arrived).isEmpty());
    QString heard;
    QVERIFY2(waitUntil([&] {
                 heard += QString::fromUtf8(listener->readAllStandardOutput());
                 return heard.contains(arrived);
             }),
             qPrintable(heard));
    QCOMPARE(inWindow(focus()), input);
    // The open room is read, also once the echo of its own earlier read notice has come back.
    QCOMPARE(after(arrived), (RowTail{true, QString()}));

    // Ctrl+F searches the room, Escape leaves the search.
    QVERIFY(press(QStringLiteral("ctrl+f"), [&] { return inWindow(focus()).path != input.path; }));
    QCOMPARE(focus().role, QStringLiteral("text"));
    QCOMPARE(unnamed(), QVector<Node>());
    QVERIFY(press(QStringLiteral("Escape"), [&] { return inWindow(focus()) == input; }));

    // A picture that arrives opens from its row (Shift+Tab to the conversation, End, Return).
    QVERIFY(client.keyToActive(QStringLiteral("shift+Tab")) && focusOn("list item"));
    const Node conversationRow = inWindow(focus());
    // The conversation's rows, those scrolled out of view too.
    const auto said = [&] { return besides(read(QStringLiteral("tree")), conversationRow).size(); };
    const auto saidBefore = said();
    QVERIFY(!m_server.chat(room.roomId, other, QString(), {{"contentType", 2}}).isEmpty());
    QVERIFY(waitUntil([&] { return said() > saidBefore; }));
    // A window the keys open takes the keys, Escape closes it and gives them back to the room:
    // its unnamed controls, or a mark of the step that failed.
    const auto visit = [&](const QString& keys) {
        const QString opened = opens(client, keys);
        const bool left =
            !opened.isEmpty() && waitUntil([&] { return focus().window != input.window; });
        const QVector<Node> found = unnamed();
        const bool back = press(QStringLiteral("Escape"),
                                [&] { return !client.visibleWindows().contains(opened); }) &&
                          waitUntil([&] { return focus().window == input.window; });
        return left && back ? found : QVector<Node>{{keys, opened, "not visited", {}, {}, {}}};
    };
    QCOMPARE(visit(QStringLiteral("End Return")), QVector<Node>());
    // The room's members from its menu (Shift+Tab to the menu button, the second entry).
    QCOMPARE(visit(QStringLiteral("shift+Tab space Down Down Return")), QVector<Node>());

    // Ctrl+W closes the room's window; the keys are back at its row, which still counts nothing.
    const QString later = QStringLiteral("later-%1").arg(account);
    QVERIFY(!m_server.chat(room.roomId, other, later).isEmpty());
    QCOMPARE(after(later), (RowTail{true, QString()}));
    QVERIFY(client.typeInto(window, QString(), QStringLiteral("ctrl+w")));
    QVERIFY(waitUntil([&] { return !client.visibleWindows().contains(window); }));
    QVERIFY(waitUntil([&] { return focus().name.contains(later); }));
    QCOMPARE(focus().name.section(later, 1), QString());

    // Left alone with its room open, the program locks; the lock page is an alert, its password
    // field has the keys, and Return unlocks.
    const QString reopened = opens(client, QStringLiteral("Return"));
    QVERIFY(!reopened.isEmpty() && focusOn("password text", kIdleLock));
    QCOMPARE(unnamed(), QVector<Node>());
    const QString lockPage = parentPath(focus().path);
    QVERIFY(shows([&](const Node& n) {
        return n.path == lockPage && n.role == "alert" && !n.name.isEmpty();
    }));
    QVERIFY(client.typeInto(main, DevServer::kPassword, QStringLiteral("Return")));
    QVERIFY(focusOn("list item"));
    QCOMPARE(after(later), (RowTail{true, QString()}));

    // The invitation dialog: a name, Down into the people (name and department), Space chooses,
    // Return makes the room. It lists the directory stored (key 8) once whole.
    const QJsonObject person = m_server.user(row.invitee);
    const QString stored = QStringLiteral("SELECT count(*) FROM TTT_MTDATA WHERE key=8");
    QVERIFY(waitUntil([&] { return client.store(account).number(stored) == 1; }));
    const QString name = person["userName"].toString();
    const QString dialog = opens(client, QStringLiteral("Tab space"));
    QVERIFY(!dialog.isEmpty() && focusOn("text"));
    // Keys typed while the dialog settles can go astray: typed again until the field holds it.
    QVERIFY(waitUntil([&] {
        client.typeInto(dialog, QString(), QStringLiteral("ctrl+a BackSpace"));
        client.typeInto(dialog, name, QString());
        return waitUntil([&] { return focus().text == name; }, 2000);
    }));
    const QString department = person["deptName"].toString();
    QVERIFY(waitUntil([&] {
        return shows([&](const Node& n) {
            return n.role == "list item" && n.name.contains(name) && n.name.contains(department);
        });
    }));
    QVERIFY(press(QStringLiteral("Down"), [&] { return focus().name.contains(name); }));
    const Node unchosen = focus();
    QVERIFY(press(QStringLiteral("space"), [&] { return focus().name != unchosen.name; }));
    QCOMPARE(unnamed(), QVector<Node>());
    const QString newRoom = opens(client, QStringLiteral("Return"));
    QVERIFY(!newRoom.isEmpty() && focusOn("text"));
    QCOMPARE(unnamed(), QVector<Node>());
    // To the new room's window itself: the window manager may not have made it active yet.
    QVERIFY(client.typeInto(newRoom, QString(), QStringLiteral("Escape")));
    QVERIFY(waitUntil([&] { return !client.visibleWindows().contains(newRoom); }));
    QVERIFY(focusOn("list item"));

    // The main menu's settings dialog (Shift+Tab from the rooms, Space) and its profile editor.
    QVERIFY(!opens(client, QStringLiteral("shift+Tab space Down Down Down Return")).isEmpty());
    QCOMPARE(unnamed(), QVector<Node>());
    // Past the user's picture to the profile editor's button.
    const QString settings = focus().window;
    QVERIFY(!opens(client, QStringLiteral("Tab Tab space")).isEmpty());
    QVERIFY(waitUntil([&] { return focus().window != settings; }));
    QCOMPARE(unnamed(), QVector<Node>());
    QVERIFY(press(QStringLiteral("Escape"), [&] { return focus().window == settings; }));
    QVERIFY(client.keyToActive(QStringLiteral("Escape")) && focusOn("push button"));

    // The menu's lock; an unlock refused for the version asks to update, and yes opens the
    // download's dialog (kept slow so that it stays up).
    QVERIFY(client.keyToActive(QStringLiteral("space Down Down Return")) &&
            focusOn("password text"));
    QVERIFY(m_server.setUpdate(DevUpdate{std::numeric_limits<int>::max(), {}, -1, false, 1024}));
    const QStringList atLock = client.visibleWindows();
    QVERIFY(client.typeInto(main, DevServer::kPassword, QStringLiteral("Return")));
    const QString question = client.awaitNewWindow(atLock);
    // The box's keys start at its "no"; Shift+Tab goes to its "yes".
    QVERIFY(!question.isEmpty() && focusOn("push button"));
    const Node no = focus();
    QVERIFY(press(QStringLiteral("shift+Tab"), [&] { return focus().name != no.name; }));
    QVERIFY(client.keyToActive(QStringLiteral("Return")));
    QVERIFY(!client.awaitNewWindow(atLock, {question}).isEmpty());
    QVERIFY(waitUntil([&] {
        const Node at = focus();
        return !at.window.isEmpty() && at.window != no.window && at.window != listRow.window;
    }));
    QCOMPARE(unnamed(), QVector<Node>());
}

int main(int argc, char** argv)
{
    // A private session bus for the whole test, taking the accessibility bus with it.
    if (!qEnvironmentVariableIsSet("MT_PRIVATE_BUS")) {
        qputenv("MT_PRIVATE_BUS", "1");
        QVector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i)
            args << argv[i];
        args << nullptr;
        execvp(args.first(), args.data());
        qFatal("dbus-run-session could not be started");
    }
    QCoreApplication app(argc, argv);
    TestAccessibility test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessibility.moc"
