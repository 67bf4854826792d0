// The whole program as a screen reader and a keyboard user meet it, in both languages. It runs
// in a private D-Bus session with the accessibility bus switched on the way a screen reader
// switches it, on a display with a window manager and a tray, against the reference server.
// Its tree is read over that bus with pyatspi (atspi.py); it is driven only by keys.
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

// One object as a screen reader gets it.
struct Node
{
    QString path;
    QString window; // the name of the window that holds it
    QString role;
    QString name;
    QString description;
    QString text; // what a text field holds
    MT_TYPED(Node, path, window, role, name, description, text)
};

Node toNode(const QJsonObject& row)
{
    return Node{row["path"].toString(), row["window"].toString(),      row["role"].toString(),
                row["name"].toString(), row["description"].toString(), row["text"].toString()};
}

// What a room's row says after the newest chat it shows (shown: it shows it); nothing when the
// row counts no unread chats.
struct RowTail
{
    bool shown = false;
    QString after;
    MT_TYPED(RowTail, shown, after)
};

// The reachable controls a screen reader cannot name in words.
struct Unnamed
{
    QVector<Node> nodes;
    MT_TYPED(Unnamed, nodes)
};

QString parentPath(const QString& path)
{
    return path.section(QLatin1Char('/'), 0, -2);
}

// The same control within its window: the window's own place among the program's windows moves
// as toasts and boxes come and go.
Node inWindow(Node node)
{
    node.path = node.path.section(QLatin1Char('/'), 1);
    return node;
}
} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void journeys_data();
    void journeys();

    // The version refusal of a row that stopped before it ended goes with it.
    void cleanup() { QVERIFY(m_server.clearUpdate()); }
    void cleanupTestCase() { ChildProcess::stop(m_bus); }

private:
    QProcess* atspi(const QString& command, qint64 pid);
    QVector<QJsonObject> read(const QString& command, qint64 pid);
    QVector<Node> controls(qint64 pid);
    // Whether a control that shows now matches.
    template <typename Match>
    bool shows(qint64 pid, Match match)
    {
        const QVector<Node> all = controls(pid);
        return std::any_of(all.cbegin(), all.cend(), match);
    }
    // Reachable controls whose name is empty or holds no letter or digit (a glyph).
    Unnamed unnamed(qint64 pid);
    Node focus(qint64 pid);
    bool focusOn(qint64 pid, const QString& role, int timeoutMs = kWait)
    {
        return waitUntil([&] { return focus(pid).role == role; }, timeoutMs);
    }

    std::unique_ptr<XSession> m_x;
    DevServer m_server;
    TestEnv m_home;
    QProcess m_bus;
};

QProcess* TestAccessibility::atspi(const QString& command, qint64 pid)
{
    auto* process = new QProcess(this);
    process->setProcessEnvironment(m_x->environment(m_home.processEnvironment()));
    process->start(QStringLiteral("/usr/bin/python3"),
                   {TestEnv::sourceDir() + QStringLiteral("/tests/accessibility/atspi.py"), command,
                    QString::number(pid)});
    return process;
}

QVector<QJsonObject> TestAccessibility::read(const QString& command, qint64 pid)
{
    std::unique_ptr<QProcess> process(atspi(command, pid));
    process->waitForFinished(kWait);
    QVector<QJsonObject> rows;
    for (const QByteArray& line : process->readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            rows << QJsonDocument::fromJson(line).object();
    }
    return rows;
}

QVector<Node> TestAccessibility::controls(qint64 pid)
{
    QVector<Node> nodes;
    for (const QJsonObject& row : read(QStringLiteral("tree"), pid)) {
        if (row["control"].toBool())
            nodes << toNode(row);
    }
    return nodes;
}

Unnamed TestAccessibility::unnamed(qint64 pid)
{
    QVector<Node> nodes = controls(pid);
    nodes.erase(std::remove_if(nodes.begin(), nodes.end(),
                               [](const Node& node) {
                                   return std::any_of(node.name.cbegin(), node.name.cend(),
                                                      [](QChar c) { return c.isLetterOrNumber(); });
                               }),
                nodes.end());
    return Unnamed{nodes};
}

Node TestAccessibility::focus(qint64 pid)
{
    return toNode(read(QStringLiteral("focus"), pid).value(0));
}

void TestAccessibility::initTestCase()
{
    m_x = std::make_unique<XSession>(true, true);
    QVERIFY2(m_x->isValid(), qPrintable(m_x->errorString()));
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    // The bus launcher on the display: it names its bus on the root window, where Qt looks
    // first. A screen reader then switches accessibility on through the session bus.
    m_bus.setProcessEnvironment(m_x->environment(m_home.processEnvironment()));
    m_bus.start(QStringLiteral("/usr/libexec/at-spi-bus-launcher"), {"--launch-immediately"});
    QVERIFY(m_bus.waitForStarted());
    // Asked before the launcher owns its name, the session bus would start a second launcher
    // by activation; the loser takes its bus down and may leave its address on the root window.
    QVERIFY(waitUntil(
        [&] {
            QProcess ask;
            ask.start(QStringLiteral("dbus-send"),
                      {"--session", "--dest=org.freedesktop.DBus", "--print-reply",
                       "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                       "string:org.a11y.Bus"});
            return ask.waitForFinished() && ask.readAllStandardOutput().contains("true");
        },
        kWait));
    for (const char* property : {"IsEnabled", "ScreenReaderEnabled"}) {
        const QStringList set{"--session",
                              "--dest=org.a11y.Bus",
                              "--print-reply",
                              "/org/a11y/bus",
                              "org.freedesktop.DBus.Properties.Set",
                              "string:org.a11y.Status",
                              QStringLiteral("string:") + property,
                              "variant:boolean:true"};
        QVERIFY(waitUntil(
            [&] {
                QProcess send;
                send.start(QStringLiteral("dbus-send"), set);
                return send.waitForFinished() && send.exitCode() == 0;
            },
            kWait));
    }
}

void TestAccessibility::journeys_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("invitee");
    QTest::addColumn<int>("script"); // of the names the screen reader gets
    QTest::newRow("English") << QByteArray("C.UTF-8") << "user002"
                             << "user016" << int(QChar::Script_Latin);
    QTest::newRow("Korean") << QByteArray("ko_KR.UTF-8") << "user003"
                            << "user021" << int(QChar::Script_Hangul);
}

// Start, a refused login's box, login by keys, the rooms with their unread counts and the toast
// that tells of them, a room opened and so read (its row counts nothing, also while chats
// arrive), a chat sent by keys, a chat that arrives announced, the room's search, a picture
// opened from its row, the room's members, the window closed and opened again, the idle lock and
// the unlock, a new room chosen in the invitation dialog, the settings and the profile editor,
// the lock by the menu and the update an unlock refused for its version leads to; the tree of
// every window on the way is checked for controls without a name in words.
void TestAccessibility::journeys()
{
    QFETCH(QByteArray, locale);
    QFETCH(QString, account);
    QFETCH(QString, invitee);
    QFETCH(int, script);
    // The test home sets LANG; LC_MESSAGES, which it keeps, names the language before it.
    qputenv("LC_MESSAGES", locale);
    AppClient client(*m_x, m_server);
    // The shortest idle time the settings offer: a minute.
    client.presetSetting(QStringLiteral("Settings/AutoLock"), 1);
    QVERIFY(client.start());
    const qint64 pid = client.pid();
    const QString main = client.mainWindow();
    QVERIFY(client.typeInto(main, QString(), QString()));
    // A busy machine can take a while before a new program's tree is on the accessibility bus.
    QVERIFY2(focusOn(pid, QStringLiteral("text"), 3 * kWait),
             qPrintable(QStringLiteral("%1 objects of the program on the bus, the focus on '%2'")
                            .arg(read(QStringLiteral("tree"), pid).size())
                            .arg(focus(pid).role)));
    QVERIFY2(waitUntil(
                 [&] {
                     const QString name = focus(pid).name;
                     return !name.isEmpty() && name.at(0).script() == script;
                 },
                 kWait),
             "the account field is not named in the row's language");
    QCOMPARE(unnamed(pid), Unnamed());

    // Return with empty fields: the box that says so is an alert, read out with its text.
    QVERIFY(client.keyToActive(QStringLiteral("Tab Return")));
    QVERIFY(focusOn(pid, QStringLiteral("push button")));
    QCOMPARE(unnamed(pid), Unnamed());
    QVERIFY(shows(pid, [](const Node& n) { return n.role == "alert" && !n.name.isEmpty(); }));
    QVERIFY(client.keyToActive(QStringLiteral("Return")));

    QVERIFY(focusOn(pid, QStringLiteral("password text")));
    QVERIFY(client.keyToActive(QStringLiteral("shift+Tab")));
    QVERIFY(client.typeInto(main, account, QStringLiteral("Tab")));
    QVERIFY(client.typeInto(main, DevServer::kPassword, QStringLiteral("Return")));
    QVERIFY2(focusOn(pid, QStringLiteral("list item")), "the room list did not take the keys");
    QCOMPARE(unnamed(pid), Unnamed());

    // Every room of the account is a row of the list, whatever has a widget; a room's row says
    // its newest chat and how many are unread.
    const qint64 userId = m_server.userId(account);
    const DevRoom room = m_server.rooms(userId, true).value(0);
    const qint64 other = room.otherThan(userId);
    const QString tag = QStringLiteral("unread-%1").arg(account);
    QVERIFY(m_server.chats(room.roomId, other, tag, 3));
    const QRegularExpression unreadRow(tag + QStringLiteral(" 3\\D+3\\D*$"));
    const Node listRow = inWindow(focus(pid));
    // The rows of the main window's room list, whichever window has the keys.
    const auto rows = [&] {
        QVector<Node> found = controls(pid);
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [&](const Node& n) {
                                       return n.window != listRow.window ||
                                              parentPath(inWindow(n).path) !=
                                                  parentPath(listRow.path);
                                   }),
                    found.end());
        return found;
    };
    // What the room's row says after a chat, once it shows it.
    const auto after = [&](const QString& chat) {
        RowTail tail;
        waitUntil(
            [&] {
                for (const Node& n : rows())
                    tail = n.name.contains(chat) ? RowTail{true, n.name.section(chat, 1)} : tail;
                return tail.shown;
            },
            kWait);
        return tail;
    };
    QVERIFY(waitUntil([&] { return rows().value(0).name.contains(unreadRow); }, kWait));
    QCOMPARE(rows().size(), m_server.rooms(userId).size());
    // The toast that tells of the chats is an alert that says the newest.
    const QString newest = tag + QStringLiteral(" 3");
    QVERIFY2(waitUntil(
                 [&] {
                     return shows(pid, [&](const Node& n) {
                         return n.role == "alert" && !n.name.isEmpty() && n.description == newest;
                     });
                 },
                 kWait),
             "no toast read out with the newest chat");

    // Arrows move through the rooms; Return opens the one with the keyboard.
    QVERIFY(client.keyToActive(QStringLiteral("Home Down")));
    QVERIFY(waitUntil([&] { return focus(pid).name == rows().value(1).name; }, kWait));
    QVERIFY(client.keyToActive(QStringLiteral("Up")));
    QVERIFY(waitUntil([&] { return focus(pid).name.contains(unreadRow); }, kWait));
    const QStringList before = client.visibleWindows();
    QVERIFY(client.keyToActive(QStringLiteral("Return")));
    const QString window = client.awaitNewWindow(before);
    QVERIFY(!window.isEmpty());
    QVERIFY(focusOn(pid, QStringLiteral("text")));
    const Node input = inWindow(focus(pid));
    QCOMPARE(unnamed(pid), Unnamed());

    const qint64 since = m_server.lastPublishedSeq();
    const QString typed = QStringLiteral("typed-%1").arg(account);
    QVERIFY(client.typeInto(window, typed, QStringLiteral("Return")));
    QVERIFY2(waitUntil(
                 [&] {
                     const QVector<DevPublished> sent = m_server.published(since);
                     return std::any_of(sent.cbegin(), sent.cend(),
                                        [&](const DevPublished& p) { return p.contents == typed; });
                 },
                 kWait),
             "Return in the input did not send");

    // A chat arriving in the open room is announced as a new row that says it, and the keyboard
    // stays in the input.
    std::unique_ptr<QProcess> listener(atspi(QStringLiteral("listen"), pid));
    QVERIFY(listener->waitForReadyRead(kWait));
    const QString arrived = QStringLiteral("arrived-%1").arg(account);
    QVERIFY(!m_server.chat(room.roomId, other, arrived).isEmpty());
    QString heard;
    QVERIFY2(waitUntil(
                 [&] {
                     heard += QString::fromUtf8(listener->readAllStandardOutput());
                     return heard.contains(arrived);
                 },
                 kWait),
             qPrintable(heard));
    QVERIFY(heard.contains(QStringLiteral("children-changed:add")));
    QCOMPARE(inWindow(focus(pid)), input);
    // The open room is read: its row counts nothing after the chat, not even once the echo of
    // the window's own read notice (sent before the chat) has come back.
    QCOMPARE(after(arrived), RowTail{true});

    // Ctrl+F searches the room, Escape leaves the search.
    QVERIFY(client.keyToActive(QStringLiteral("ctrl+f")));
    QVERIFY(waitUntil([&] { return inWindow(focus(pid)).path != input.path; }, kWait));
    QCOMPARE(focus(pid).role, QStringLiteral("text"));
    QCOMPARE(unnamed(pid), Unnamed());
    QVERIFY(client.keyToActive(QStringLiteral("Escape")));
    QVERIFY(waitUntil([&] { return inWindow(focus(pid)) == input; }, kWait));

    // A picture that arrives opens from its row with Return (Shift+Tab from the input to the
    // conversation, End to its newest row); Escape closes the viewer.
    QVERIFY(client.keyToActive(QStringLiteral("shift+Tab")));
    QVERIFY(focusOn(pid, QStringLiteral("list item")));
    const QString conversation = parentPath(inWindow(focus(pid)).path);
    // The conversation's rows, those scrolled out of view too.
    const auto said = [&] {
        const QVector<QJsonObject> found = read(QStringLiteral("tree"), pid);
        return std::count_if(found.cbegin(), found.cend(), [&](const QJsonObject& row) {
            const Node n = inWindow(toNode(row));
            return n.window == input.window && parentPath(n.path) == conversation;
        });
    };
    const auto saidBefore = said();
    QVERIFY(!m_server.chat(room.roomId, other, QString(), {{"contentType", 2}}).isEmpty());
    QVERIFY(waitUntil([&] { return said() > saidBefore; }, kWait));
    const QStringList withRoom = client.visibleWindows();
    QVERIFY(client.keyToActive(QStringLiteral("End Return")));
    const QString viewer = client.awaitNewWindow(withRoom);
    QVERIFY(!viewer.isEmpty());
    QVERIFY(waitUntil([&] { return focus(pid).window != input.window; }, kWait));
    QCOMPARE(unnamed(pid), Unnamed());
    QVERIFY(client.keyToActive(QStringLiteral("Escape")));
    QVERIFY(waitUntil([&] { return !client.visibleWindows().contains(viewer); }, kWait));

    // The room's members from its menu (Shift+Tab from the conversation to the menu button,
    // Space, the second entry); Escape closes them.
    QVERIFY(waitUntil([&] { return focus(pid).window == input.window; }, kWait));
    QVERIFY(client.keyToActive(QStringLiteral("shift+Tab space Down Down Return")));
    const QString members = client.awaitNewWindow(withRoom);
    QVERIFY(!members.isEmpty());
    QVERIFY(waitUntil([&] { return focus(pid).window != input.window; }, kWait));
    QCOMPARE(unnamed(pid), Unnamed());
    QVERIFY(client.keyToActive(QStringLiteral("Escape")));
    QVERIFY(waitUntil([&] { return !client.visibleWindows().contains(members); }, kWait));

    // More chats read in the open room (the active window again), then Ctrl+W closes the window
    // and the keys are back in the room list, at the room, which still counts nothing.
    QVERIFY(waitUntil([&] { return focus(pid).window == input.window; }, kWait));
    const QString later = QStringLiteral("later-%1").arg(account);
    QVERIFY(!m_server.chat(room.roomId, other, later).isEmpty());
    QCOMPARE(after(later), RowTail{true});
    QVERIFY(client.typeInto(window, QString(), QStringLiteral("ctrl+w")));
    QVERIFY(waitUntil([&] { return !client.visibleWindows().contains(window); }, kWait));
    QVERIFY(waitUntil([&] { return focus(pid).name.contains(later); }, kWait));
    QCOMPARE(focus(pid).name.section(later, 1), QString());

    // Opened again and left alone for the idle time: the program locks itself and closes the
    // window; the lock page is announced as an alert, as a box is, and its password field has
    // the keys; Return unlocks through a login of this device and the room still counts nothing.
    const QStringList withList = client.visibleWindows();
    QVERIFY(client.keyToActive(QStringLiteral("Return")));
    const QString reopened = client.awaitNewWindow(withList);
    QVERIFY(!reopened.isEmpty());
    QVERIFY(focusOn(pid, QStringLiteral("password text"), kIdleLock));
    QVERIFY(!client.visibleWindows().contains(reopened));
    QCOMPARE(unnamed(pid), Unnamed());
    const QString lockPage = parentPath(focus(pid).path);
    QVERIFY(shows(pid, [&](const Node& n) {
        return n.path == lockPage && n.role == "alert" && !n.name.isEmpty();
    }));
    const qint64 beforeUnlock = m_server.lastRequestSeq();
    QVERIFY(client.typeInto(main, DevServer::kPassword, QStringLiteral("Return")));
    QVERIFY(focusOn(pid, QStringLiteral("list item")));
    QCOMPARE(m_server.logins(beforeUnlock),
             (QVector<DevLogin>{
                 {account, QStringLiteral("0"), client.setting("Settings/DeviceID").toString()}}));
    QCOMPARE(after(later), RowTail{true});

    // The invitation dialog by keys: Tab to its button, Space, a name, Down into the people (a
    // row says the name and the department), Space chooses, Return makes the room.
    const QJsonObject person = m_server.user(invitee);
    // The dialog lists the directory stored at its opening; it comes a moment after the rooms,
    // and its time is kept (key 8) once it is whole.
    const QString stored = QStringLiteral("SELECT count(*) FROM TTT_MTDATA WHERE key=8");
    QVERIFY(waitUntil([&] { return client.store(account).number(stored) == 1; }, kWait));
    const QString name = person["userName"].toString();
    const QStringList unlocked = client.visibleWindows();
    QVERIFY(client.keyToActive(QStringLiteral("Tab space")));
    const QString dialog = client.awaitNewWindow(unlocked);
    QVERIFY(!dialog.isEmpty());
    QVERIFY(focusOn(pid, QStringLiteral("text")));
    // Keys typed while the dialog settles can go astray: typed again until the field holds it.
    QVERIFY(waitUntil(
        [&] {
            client.typeInto(dialog, QString(), QStringLiteral("ctrl+a BackSpace"));
            client.typeInto(dialog, name, QString());
            return waitUntil([&] { return focus(pid).text == name; }, 2000);
        },
        kWait));
    const QString department = person["deptName"].toString();
    const auto listed = [&] {
        return shows(pid, [&](const Node& n) {
            return n.role == "list item" && n.name.contains(name) && n.name.contains(department);
        });
    };
    QVERIFY(waitUntil(listed, kWait));
    QVERIFY(client.keyToActive(QStringLiteral("Down")));
    QVERIFY(waitUntil([&] { return focus(pid).name.contains(name); }, kWait));
    const Node unchosen = focus(pid);
    QVERIFY(client.keyToActive(QStringLiteral("space")));
    QVERIFY(waitUntil([&] { return focus(pid).name != unchosen.name; }, kWait));
    QCOMPARE(unnamed(pid), Unnamed());
    const QStringList withDialog = client.visibleWindows();
    QVERIFY(client.keyToActive(QStringLiteral("Return")));
    const QString newRoom = client.awaitNewWindow(withDialog);
    QVERIFY(!newRoom.isEmpty());
    QVERIFY(focusOn(pid, QStringLiteral("text")));
    QCOMPARE(unnamed(pid), Unnamed());
    // To the new room's window itself: on a busy machine the window manager may not have made it
    // the active one yet.
    QVERIFY(client.typeInto(newRoom, QString(), QStringLiteral("Escape")));
    QVERIFY(waitUntil([&] { return !client.visibleWindows().contains(newRoom); }, kWait));
    QVERIFY(focusOn(pid, QStringLiteral("list item")));

    // The main menu by keys (Shift+Tab from the rooms, Space): its settings dialog and from it
    // the profile editor.
    const QStringList beforeSettings = client.visibleWindows();
    QVERIFY(client.keyToActive(QStringLiteral("shift+Tab space Down Down Down Return")));
    QVERIFY(!client.awaitNewWindow(beforeSettings).isEmpty());
    QCOMPARE(unnamed(pid), Unnamed());
    // Five quick presses on the user's picture (Tab to it) switch the file log: the note that
    // says so is an alert with its text.
    const QString settings = focus(pid).window;
    QVERIFY(client.keyToActive(QStringLiteral("Tab space space space space space")));
    QVERIFY2(waitUntil(
                 [&] {
                     return shows(pid, [&](const Node& n) {
                         return n.window == settings && n.role == "alert" && !n.name.isEmpty();
                     });
                 },
                 kWait),
             "the logging note is not read out");
    const QStringList withSettings = client.visibleWindows();
    QVERIFY(client.keyToActive(QStringLiteral("Tab space")));
    const QString profile = client.awaitNewWindow(withSettings);
    QVERIFY(!profile.isEmpty());
    QVERIFY(waitUntil([&] { return focus(pid).window != settings; }, kWait));
    QCOMPARE(unnamed(pid), Unnamed());
    QVERIFY(client.keyToActive(QStringLiteral("Escape")));
    QVERIFY(waitUntil([&] { return focus(pid).window == settings; }, kWait));
    QVERIFY(client.keyToActive(QStringLiteral("Escape")));
    QVERIFY(focusOn(pid, QStringLiteral("push button")));

    // The menu's lock; an unlock the server refuses for the program's version asks whether to
    // update, and yes opens the download's dialog (kept slow so that it stays up).
    QVERIFY(client.keyToActive(QStringLiteral("space Down Down Return")));
    QVERIFY(focusOn(pid, QStringLiteral("password text")));
    QVERIFY(m_server.setUpdate(DevUpdate{std::numeric_limits<int>::max(), {}, -1, false, 1024})
                .has_value());
    const QStringList atLock = client.visibleWindows();
    QVERIFY(client.typeInto(main, DevServer::kPassword, QStringLiteral("Return")));
    const QString question = client.awaitNewWindow(atLock);
    QVERIFY(!question.isEmpty());
    // The box's keys start at its "no"; Shift+Tab goes to its "yes".
    QVERIFY(focusOn(pid, QStringLiteral("push button")));
    const Node no = focus(pid);
    QVERIFY(client.keyToActive(QStringLiteral("shift+Tab")));
    QVERIFY(waitUntil([&] { return focus(pid).name != no.name; }, kWait));
    QVERIFY(client.keyToActive(QStringLiteral("Return")));
    QVERIFY(!client.awaitNewWindow(atLock, {question}).isEmpty());
    QVERIFY(waitUntil(
        [&] {
            const Node at = focus(pid);
            return !at.window.isEmpty() && at.window != no.window && at.window != listRow.window;
        },
        kWait));
    QCOMPARE(unnamed(pid), Unnamed());
}

int main(int argc, char** argv)
{
    // A private session bus for the whole test: the accessibility bus and its registry live in
    // it and go with it.
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
